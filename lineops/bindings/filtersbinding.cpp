#include "lineops/bindings/bindings.h"
#include "lineops/filters.h"
#include "shell/form1.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace lumbrel {

namespace {

// Twips of the window's outer height after "去包含".
constexpr int ContainsFilterHeightTwips = 6705;
// The job's continue timer after a completed keyword step.
constexpr int ContinueJobMs = 1;

QString remaining(const char16_t* prefix, qsizetype count)
{
    return QString::fromUtf16(prefix) + QString::number(count) + QStringLiteral("行");
}

void removeEmptyLines(Form1& form, TextArea* area)
{
    LineOpResult r = RemoveEmptyLines(area->content());
    if (r.refused()) {
        form.setStatus(r.refusal);
        return;
    }
    form.setStatus(remaining(u"去空行完毕剩余：", area->setContent(std::move(r.text))));
}

void filterChinese(Form1& form, ChineseFilter mode, const char16_t* prefix)
{
    LineOpResult r = FilterChinese(form.quan()->content(), mode);
    const qsizetype count = form.quan()->setContent(std::move(r.text));
    form.linshi()->setContent(std::move(r.setAside).value_or(QString()));
    form.setStatus(remaining(prefix, count));
}

void filterByLength(Form1& form, LengthFilter mode, const char16_t* prefix)
{
    // Text2 is read as typed: the number parser allows the spaces around it.
    LineOpResult r = FilterByLength(form.quan()->content(), form.textBox(2)->text(), mode, form.meter());
    if (r.refused()) {
        form.setStatus(r.refusal);
        return;
    }
    const qsizetype count = form.quan()->setContent(std::move(r.text));
    form.linshi()->setContent(std::move(r.setAside).value_or(QString()));
    form.setStatus(remaining(prefix, count));
}

// Double-click on Text2: the box shows the length of its own cleaned text, so a sample line
// pasted there gives the N of the length filters.
void measureText2(Form1& form)
{
    LineBox* box = form.textBox(2);
    box->setText(QString::number(StripLineBreaks(box->text()).size()));
}

} // namespace

void RunContainsFilter(Form1& form)
{
    const QString keyword = form.textBox(2)->text();
    LineOpResult r = RemoveContaining(form.quan()->content(), keyword, form.meter());
    if (r.refused()) {
        // Label1 and Timer1 stay as they are: that is how a refused keyword halts the job.
        form.setStatus(r.refusal);
        return;
    }
    form.setOuterHeight(Form1::px(ContainsFilterHeightTwips));
    const qsizetype count = form.quan()->setContent(std::move(r.text));
    form.label(1)->setText(QStringLiteral("1"));
    QString removed = std::move(r.setAside).value_or(QString());
    if (form.check1()->checkState() == Qt::Checked) {
        // A step of the batch job: continue it, and gather this keyword's lines in front of
        // those of the earlier keywords.
        form.timer1()->start(ContinueJobMs);
        form.linshi()->prependContent(removed + CrLf);
        return;
    }
    form.linshi()->setContent(std::move(removed));
    form.setStatus(QStringLiteral("去包含") + keyword + remaining(u"完毕剩余：", count));
}

void bindFilters(Form1& form)
{
    QObject::connect(form.command(2), &QPushButton::clicked, &form, [&form] { removeEmptyLines(form, form.quan()); });
    QObject::connect(form.command(26), &QPushButton::clicked, &form, [&form] { removeEmptyLines(form, form.list()); });
    QObject::connect(form.command(3), &QPushButton::clicked, &form, [&form] {
        filterChinese(form, ChineseFilter::KeepChinese, u"去英文完毕剩余：");
    });
    QObject::connect(form.command(4), &QPushButton::clicked, &form, [&form] {
        filterChinese(form, ChineseFilter::KeepOther, u"去汉字完毕剩余：");
    });
    QObject::connect(form.command(6), &QPushButton::clicked, &form, [&form] {
        filterByLength(form, LengthFilter::KeepShorter, u"去位长完毕剩余：");
    });
    QObject::connect(form.command(7), &QPushButton::clicked, &form, [&form] {
        filterByLength(form, LengthFilter::KeepLonger, u"去位短完毕剩余：");
    });
    QObject::connect(form.command(9), &QPushButton::clicked, &form, [&form] { RunContainsFilter(form); });
    QObject::connect(form.textBox(2), &LineBox::doubleClicked, &form, [&form] { measureText2(form); });
}

} // namespace lumbrel
