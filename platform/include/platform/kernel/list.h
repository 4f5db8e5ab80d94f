// Intrusive doubly linked list, the kernel's way of queueing without allocating per link.
#pragma once

#include "platform/kernel/spin_lock.h"

namespace kernel {

struct ListEntry {
    ListEntry* flink;
    ListEntry* blink;
};

inline void InitializeListHead(ListEntry* head) { head->flink = head->blink = head; }
inline bool IsListEmpty(const ListEntry* head) { return head->flink == head; }

inline void InsertTailList(ListEntry* head, ListEntry* entry) {
    ListEntry* last = head->blink;
    entry->flink = head;
    entry->blink = last;
    last->flink = entry;
    head->blink = entry;
}

inline ListEntry* RemoveHeadList(ListEntry* head) {
    ListEntry* first = head->flink;
    ListEntry* next = first->flink;
    head->flink = next;
    next->blink = head;
    return first;
}

// Each is one operation under the given spin lock. RemoveHead returns nullptr on an empty list.
void InterlockedInsertTailList(ListEntry* head, ListEntry* entry, SpinLock* lock);
ListEntry* InterlockedRemoveHeadList(ListEntry* head, SpinLock* lock);

}  // namespace kernel
