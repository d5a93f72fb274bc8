// The shape both voice lists share: a doubly linked list between a head and a tail
// sentinel, nodes taken zero-filled from the process heap. An empty list links
// head <-> tail, and each sentinel's outer link points to itself.
#pragma once

#include <windows.h>

#include "state/scoped_resources.h"

template <typename Node>
Node* AllocateVoiceNode() {
  return static_cast<Node*>(HeapZeroed(sizeof(Node)));
}

template <typename Node>
void ReleaseVoiceNode(Node* node) {
  HeapRelease(node);
}

// Releases the nodes between the sentinels, then the tail, then the head.
template <typename Node>
void ReleaseVoiceList(Node*& head, Node*& tail) {
  if (head != nullptr && tail != nullptr) {
    Node* node = head->next;
    while (node != tail && node != nullptr) {
      Node* next = node->next;
      ReleaseVoiceNode(node);
      node = next;
    }
  }
  if (tail != nullptr) ReleaseVoiceNode(tail);
  if (head != nullptr) ReleaseVoiceNode(head);
  head = nullptr;
  tail = nullptr;
}

// Both sentinels or neither: a list with one sentinel would be neither absent nor usable.
template <typename Node>
int CreateVoiceList(Node*& head, Node*& tail) {
  head = AllocateVoiceNode<Node>();
  tail = AllocateVoiceNode<Node>();
  if (head == nullptr || tail == nullptr) {
    ReleaseVoiceList(head, tail);
    return -1;
  }
  head->prev = head;
  head->next = tail;
  tail->prev = head;
  tail->next = tail;
  return 0;
}

template <typename Node>
void LinkBeforeTail(Node* tail, Node* node) {
  node->prev = tail->prev;
  node->next = tail;
  tail->prev->next = node;
  tail->prev = node;
}
