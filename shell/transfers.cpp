#include "shell/transfers.h"

#include "shell/form1.h"

namespace lumbrel {

void bindTransfers(Form1& /*form*/)
{
}

} // namespace lumbrel
