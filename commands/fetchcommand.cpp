#include "commands/fetchcommand.h"

#include "lineops/linemodel.h"
#include "shell/form1.h"

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>

namespace lumbrel {

FetchCommand::FetchCommand(Form1& form)
    : QObject(&form)
    , m_form(form)
{
    setObjectName(QStringLiteral("FetchCommand"));
}

void FetchCommand::run()
{
    const QString raw = m_form.textBox(7)->text();
    if (!raw.contains(u"http")) {
        // A refused address starts nothing, so the page still waited for may come.
        m_form.setStatus(QStringLiteral("请输入正确的网址"));
        return;
    }
    // The latest fetch is what the user wants: an older page must not land over it.
    if (m_pending)
        m_pending->abandon();
    const PageCharset charset = m_form.option1()->isChecked() ? PageCharset::Utf8 : PageCharset::Gb2312;
    const QString address = StripLineBreaks(raw);
    const FetchRequest settings = FetchRequest().setCrawler(m_form.check2()->isChecked()).setLimits(m_limits);
    m_form.setStatus(QStringLiteral("正在读取……"));
    // The fetch is our child: once the window is gone no answer reaches it.
    m_pending = FetchPage(address, charset, settings, this, [this](const PageText& page) { show(page); });
}

void FetchCommand::show(const PageText& page)
{
    if (!page.ok()) {
        m_form.setStatus(QStringLiteral("读取失败：") + page.failureReason());
        return;
    }
    m_form.quan()->setContent(page.text);
    m_form.setStatus(QStringLiteral("读取完毕"));
}

void ConnectFetchCommand(Form1& form)
{
    auto* command = new FetchCommand(form);
    QObject::connect(form.command(14), &QPushButton::clicked, command, &FetchCommand::run);
}

} // namespace lumbrel
