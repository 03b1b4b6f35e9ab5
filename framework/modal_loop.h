// Which objects have a modal loop running on this thread's stack.
//
// A modal loop (a dialog, a popup menu, a device's dialog, a transfer that
// pumps messages) dispatches the thread's messages while its object's code is
// still on the stack, so a close handled inside it must not delete that
// object. The object marks each such stretch with a CModalLoopScope; its owner
// asks ModalLoopsOnStack before deleting it and, when the answer is not 0,
// keeps it until the loop has unwound (after the thread's own loop ends, for
// example).
#pragma once

namespace fw {

class CModalLoopScope {
public:
    // owner: the pointer by which the object's owner knows it.
    explicit CModalLoopScope(const void* owner);
    ~CModalLoopScope();

    CModalLoopScope(const CModalLoopScope&) = delete;
    CModalLoopScope& operator=(const CModalLoopScope&) = delete;

private:
    const void* owner;
};

// The number of scopes of owner open on the calling thread; 0 for null.
int ModalLoopsOnStack(const void* owner);

}  // namespace fw
