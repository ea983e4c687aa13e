#include "app/connect.h"

#include "app/tooltips.h"
#include "batch/batchjob.h"
#include "commands/commands.h"
#include "commands/containscommand.h"
#include "commands/fetchcommand.h"
#include "commands/filecommands.h"
#include "commands/transfercommands.h"
#include "shell/form1.h"

namespace lumbrel {

void ConnectCommands(Form1& form)
{
    ConnectDedupCommand(form);
    ConnectFilterCommands(form);
    ContainsCommand& contains = ConnectContainsCommand(form);
    ConnectRewriteCommands(form);
    ConnectMoreCommands(form);
    ConnectTransferCommands(form);
    ConnectFetchCommand(form);
    ConnectFileCommands(form);
    ConnectBatchJob(form, contains);
    ApplyTooltips(form);
}

void OpenFromCommandLine(Form1& form, const QStringList& arguments)
{
    if (arguments.isEmpty())
        return;
    if (auto* files = form.findChild<FileCommands*>())
        files->open(form.quan(), arguments.front());
}

} // namespace lumbrel
