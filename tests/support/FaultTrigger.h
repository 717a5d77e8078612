#pragma once
// Faults on purpose, for the crash-capture tests and the crash child
// program: each function makes the processor or the C++ run-time fail in one
// way. They live in a file of their own, compiled without the sanitizers'
// checks, so that the optimiser can neither see through them nor drop the
// fault and the sanitizers do not catch it first.

namespace vtest {

// A write through a null pointer: SIGSEGV (access violation).
void WriteThroughNull();

// An integer division by zero: SIGFPE (integer divide by zero).
void DivideByZero();

// Constructs an object whose base constructor calls one of its pure virtual
// functions, so the call lands in the run-time's pure-call entry
// (__cxa_pure_virtual) and whatever that does happens here.
void CallPureVirtualDuringConstruction();

}  // namespace vtest
