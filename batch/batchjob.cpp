#include "batch/batchjob.h"

#include "shell/form1.h"

namespace lumbrel {

void bindBatch(Form1& /*form*/)
{
}

} // namespace lumbrel
