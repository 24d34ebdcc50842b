// What the wizard knows, as JSON, read from the very tables it runs on: the language codes with
// their languages and which texts each has, and the windows with every control's layout and the
// event bindings. Tools and tests take the codes and the layout from here instead of copying them.
#pragma once

#include <string>

namespace termgate::scripted {

std::string DescribeProgram();

}  // namespace termgate::scripted
