#include "support/FaultTrigger.h"

namespace vtest {

__attribute__((noinline, no_sanitize("address", "undefined", "thread"))) void WriteThroughNull() {
    // Volatile both ways: the optimiser may neither know the address nor drop the store.
    volatile int* volatile target = nullptr;
    *target = 1;
}

namespace {

volatile int g_quotient = 0;

}  // namespace

__attribute__((noinline, no_sanitize("address", "undefined", "thread"))) void DivideByZero() {
    volatile int zero = 0;
    volatile int one = 1;
    g_quotient = one / zero;
}

}  // namespace vtest

static volatile int g_pureValue = 0;

// External linkage and an opaque pointer keep the optimiser from seeing the
// whole hierarchy and devirtualising the call away.
struct FaultTriggerPureBase {
    FaultTriggerPureBase();
    virtual ~FaultTriggerPureBase() = default;
    FaultTriggerPureBase(const FaultTriggerPureBase&) = delete;
    FaultTriggerPureBase& operator=(const FaultTriggerPureBase&) = delete;
    virtual int Value() const = 0;
};

// Called from the base constructor: the object is still a
// FaultTriggerPureBase, so the virtual call lands in the pure-call entry.
__attribute__((noinline)) static int CallValue(const FaultTriggerPureBase* object) {
    const FaultTriggerPureBase* volatile opaque = object;
    return opaque->Value();
}

FaultTriggerPureBase::FaultTriggerPureBase() {
    g_pureValue = CallValue(this);
}

struct FaultTriggerPureDerived : FaultTriggerPureBase {
    int Value() const override { return 2; }
};

namespace vtest {

void CallPureVirtualDuringConstruction() {
    FaultTriggerPureDerived object;
}

}  // namespace vtest
