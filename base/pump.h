#pragma once
// Long loops of the library call ProcessMessages() once per block so a
// program can keep its window alive and set the cancel flag. The library
// itself shows nothing: the program installs the pump.

#include <functional>

namespace vsk {

void SetMessagePump(std::function<void()> pump);
void ProcessMessages();
// How often an installed pump has been called in this process: code that
// keeps what it learnt of the file system can tell whether the program may
// have run meanwhile.
unsigned long PumpCalls();

}  // namespace vsk
