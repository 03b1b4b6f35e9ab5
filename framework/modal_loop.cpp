#include "framework/modal_loop.h"

#include <algorithm>
#include <vector>

namespace fw {
namespace {

// Innermost last. Per thread: a loop is on the stack of the thread that runs it.
thread_local std::vector<const void*> openScopes;

}  // namespace

CModalLoopScope::CModalLoopScope(const void* scopeOwner) : owner(scopeOwner) {
    openScopes.push_back(owner);
}

CModalLoopScope::~CModalLoopScope() {
    // Scopes close innermost first; the search keeps the list right even if
    // one outlives a scope opened after it.
    auto it = std::find(openScopes.rbegin(), openScopes.rend(), owner);
    if (it != openScopes.rend()) {
        openScopes.erase(std::next(it).base());
    }
}

int ModalLoopsOnStack(const void* owner) {
    if (owner == nullptr) {
        return 0;
    }
    return static_cast<int>(std::count(openScopes.begin(), openScopes.end(), owner));
}

}  // namespace fw
