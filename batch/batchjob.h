#pragma once

namespace lumbrel {

class Form1;

// Connect the batch keyword removal job: Command24 and the ticks of Timer1 and Timer2.
void bindBatch(Form1& form);

} // namespace lumbrel
