#include "platform/kernel/list.h"

namespace kernel {

void InterlockedInsertTailList(ListEntry* head, ListEntry* entry, SpinLock* lock) {
    SpinLockGuard guard(*lock);
    InsertTailList(head, entry);
}

ListEntry* InterlockedRemoveHeadList(ListEntry* head, SpinLock* lock) {
    SpinLockGuard guard(*lock);
    if (IsListEmpty(head)) {
        return nullptr;
    }
    return RemoveHeadList(head);
}

}  // namespace kernel
