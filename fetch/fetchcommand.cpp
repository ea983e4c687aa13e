#include "fetch/fetchcommand.h"

#include "shell/form1.h"

namespace lumbrel {

void bindFetch(Form1& /*form*/)
{
}

} // namespace lumbrel
