#include "commands/commands.h"
#include "commands/lineresult.h"
#include "lineops/htmlstrip.h"
#include "lineops/rewrites.h"
#include "lineops/shuffle.h"
#include "shell/form1.h"

#include <QPushButton>

namespace lumbrel {

namespace {

// Connects a line command that reads its parameter from box `boxNumber` and runs `op` in
// `mode`: the cleaned parameter goes back into the box (when the operation cleaned it), then
// either the refusal or the new text and its count.
template <typename Mode>
void connectBoxed(Form1& form,
                  int command,
                  int boxNumber,
                  BoxedOpResult (*op)(QStringView, QStringView, Mode, ProgressMeter&),
                  Mode mode)
{
    QObject::connect(form.command(command), &QPushButton::clicked, &form, [&form, boxNumber, op, mode] {
        LineBox* box = form.textBox(boxNumber);
        BoxedOpResult r = op(form.quan()->content(), box->text(), mode, form.meter());
        if (r.box)
            box->setText(*r.box);
        FinishLineCommand(form, std::move(r.result), form.quan(), u"处理完毕剩余：");
    });
}

} // namespace

void ConnectRewriteCommands(Form1& form)
{
    QObject::connect(form.command(25), &QPushButton::clicked, &form, [&form] {
        TwisterSource random = TwisterSource::fromTimeOfDay();
        QString shuffled = ShuffleLines(form.quan()->content(), random);
        form.quan()->setContent(std::move(shuffled));
    });

    QObject::connect(form.command(5), &QPushButton::clicked, &form, [&form] {
        QString stripped = StripHtmlTags(form.quan()->content());
        form.quan()->setContent(std::move(stripped));
        form.setStatus(QStringLiteral("去HTML完毕"));
    });

    // The replace commands: the cleaned search text (and replacement) go back into their
    // boxes, then the new text.
    const auto connectReplace = [&form](int command,
                                        int searchBox,
                                        int replacementBox,
                                        const char16_t* message,
                                        ReplaceResult (*op)(QStringView, QStringView, QStringView)) {
        QObject::connect(form.command(command), &QPushButton::clicked, &form, [=, &form] {
            const QString replacement = replacementBox ? form.textBox(replacementBox)->text() : QString();
            ReplaceResult r = op(form.quan()->content(), form.textBox(searchBox)->text(), replacement);
            form.textBox(searchBox)->setText(r.search);
            if (replacementBox)
                form.textBox(replacementBox)->setText(r.replacement);
            form.quan()->setContent(std::move(r.text));
            form.setStatus(QString::fromUtf16(message));
        });
    };
    connectReplace(
        8, 1, 0, u"完毕", [](QStringView text, QStringView search, QStringView) { return RemoveText(text, search); });
    connectReplace(16, 1, 3, u"替换完毕", ReplaceText);
    connectReplace(17, 3, 0, u"替换完毕", [](QStringView text, QStringView search, QStringView) {
        return BreakAtText(text, search);
    });

    connectBoxed(form, 22, 6, AddKeyword, KeywordSide::Front);
    connectBoxed(form, 23, 6, AddKeyword, KeywordSide::Back);
    connectBoxed(form, 18, 5, KeepPiece, MarkerPiece::Before);
    connectBoxed(form, 19, 5, KeepPiece, MarkerPiece::After);
    connectBoxed(form, 20, 4, TakeChars, LineEnd::Left);
    connectBoxed(form, 21, 4, TakeChars, LineEnd::Right);
}

} // namespace lumbrel
