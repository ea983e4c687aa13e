#include "lineops/bindings/bindings.h"
#include "shell/form1.h"

namespace lumbrel {

void bindRewrites(Form1& /*form*/)
{
}

} // namespace lumbrel
