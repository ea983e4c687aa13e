#include "app/connect.h"

#include "app/tooltips.h"
#include "batch/batchjob.h"
#include "commands/commands.h"
#include "commands/containscommand.h"
#include "commands/fetchcommand.h"
#include "commands/transfercommands.h"

namespace lumbrel {

void ConnectCommands(Form1& form)
{
    ConnectDedupCommand(form);
    ConnectFilterCommands(form);
    ContainsCommand& contains = ConnectContainsCommand(form);
    ConnectRewriteCommands(form);
    ConnectTransferCommands(form);
    ConnectFetchCommand(form);
    ConnectBatchJob(form, contains);
    ApplyTooltips(form);
}

} // namespace lumbrel
