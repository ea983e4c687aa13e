#include "lineops/bindings/bindings.h"
#include "lineops/htmlstrip.h"
#include "lineops/rewrites.h"
#include "lineops/shuffle.h"
#include "shell/form1.h"

#include <QPushButton>

namespace lumbrel {

namespace {

QString processed(qsizetype count)
{
    return QStringLiteral("处理完毕剩余：") + QString::number(count) + QStringLiteral("行");
}

// Connects a line command that reads its parameter from box `boxNumber`: the cleaned
// parameter goes back into the box (when the operation cleaned it), then either the refusal
// or the new text and its count.
template <typename Op> void bindBoxed(Form1& form, int command, int boxNumber, Op op)
{
    QObject::connect(form.command(command), &QPushButton::clicked, &form, [&form, boxNumber, op] {
        LineBox* box = form.textBox(boxNumber);
        BoxedOpResult r = op(form.quan()->content(), box->text(), form.meter());
        if (r.box)
            box->setText(*r.box);
        if (r.result.refused()) {
            form.setStatus(r.result.refusal);
            return;
        }
        form.setStatus(processed(form.quan()->setContent(std::move(r.result.text))));
    });
}

} // namespace

void bindRewrites(Form1& form)
{
    QObject::connect(form.command(25), &QPushButton::clicked, &form, [&form] {
        TwisterSource random = TwisterSource::fromTimeOfDay();
        form.quan()->setContent(RndLine(form.quan()->content(), random));
    });

    QObject::connect(form.command(5), &QPushButton::clicked, &form, [&form] {
        form.quan()->setContent(StripHtmlTags(form.quan()->content()));
        form.setStatus(QStringLiteral("去HTML完毕"));
    });

    QObject::connect(form.command(8), &QPushButton::clicked, &form, [&form] {
        ReplaceResult r = RemoveText(form.quan()->content(), form.textBox(1)->text());
        form.textBox(1)->setText(r.search);
        form.quan()->setContent(std::move(r.text));
        form.setStatus(QStringLiteral("完毕"));
    });
    QObject::connect(form.command(16), &QPushButton::clicked, &form, [&form] {
        ReplaceResult r = ReplaceText(form.quan()->content(), form.textBox(1)->text(), form.textBox(3)->text());
        form.textBox(1)->setText(r.search);
        form.textBox(3)->setText(r.replacement);
        form.quan()->setContent(std::move(r.text));
        form.setStatus(QStringLiteral("替换完毕"));
    });
    QObject::connect(form.command(17), &QPushButton::clicked, &form, [&form] {
        ReplaceResult r = BreakAtText(form.quan()->content(), form.textBox(3)->text());
        form.textBox(3)->setText(r.search);
        form.quan()->setContent(std::move(r.text));
        form.setStatus(QStringLiteral("替换完毕"));
    });

    bindBoxed(form, 22, 6, [](QStringView text, QStringView word, ProgressMeter& meter) {
        return AddKeyword(text, word, KeywordSide::Front, meter);
    });
    bindBoxed(form, 23, 6, [](QStringView text, QStringView word, ProgressMeter& meter) {
        return AddKeyword(text, word, KeywordSide::Back, meter);
    });
    bindBoxed(form, 18, 5, [](QStringView text, QStringView marker, ProgressMeter& meter) {
        return KeepPiece(text, marker, MarkerPiece::Before, meter);
    });
    bindBoxed(form, 19, 5, [](QStringView text, QStringView marker, ProgressMeter& meter) {
        return KeepPiece(text, marker, MarkerPiece::After, meter);
    });
    bindBoxed(form, 20, 4, [](QStringView text, QStringView count, ProgressMeter& meter) {
        return TakeChars(text, count, LineEnd::Left, meter);
    });
    bindBoxed(form, 21, 4, [](QStringView text, QStringView count, ProgressMeter& meter) {
        return TakeChars(text, count, LineEnd::Right, meter);
    });
}

} // namespace lumbrel
