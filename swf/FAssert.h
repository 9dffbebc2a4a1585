#pragma once

// Call-order checks of the SWF writer. Unlike the standard assert they stay in
// release builds: a violated precondition prints
//   Assertion failed: <condition>, file <module>, line <line>
// to stderr (or hands it to the installed handler) and aborts the program.

using FAssertHandler = void (*)(const char* message);

// Installs a function that shows the message (the windowed program puts it in
// a message box) before the program aborts. nullptr restores printing to stderr.
void FSetAssertHandler(FAssertHandler handler);

[[noreturn]] void FAssertFailed(const char* condition, const char* module, int line);

#define F_ASSERT(module, condition)                                                                \
    ((condition) ? static_cast<void>(0) : FAssertFailed(#condition, module, __LINE__))
