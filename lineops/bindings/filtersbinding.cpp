#include "lineops/bindings/bindings.h"
#include "shell/form1.h"

namespace lumbrel {

void bindFilters(Form1& /*form*/)
{
}

} // namespace lumbrel
