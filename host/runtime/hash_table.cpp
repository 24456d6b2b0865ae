// The runtime's hash table: elements made by the owner's factory, found by
// (declaration, thread) keys.
#include <algorithm>
#include <mutex>
#include <vector>

#include "x9runx.h"

struct HashTable::Impl {
    Factory make = nullptr;
    Destroyer destroy = nullptr;
    mutable std::mutex mutex;
    std::vector<HashElement*> elements;
};

namespace {

HashElement* plainElement() {
    return new HashElement{};
}
void deletePlain(HashElement* element) {
    delete element;
}

}  // namespace

HashTable::HashTable(int32_t) : impl_(std::make_unique<Impl>()) {
    impl_->make = plainElement;
    impl_->destroy = deletePlain;
}

HashTable::~HashTable() {
    for (HashElement* element : impl_->elements) impl_->destroy(element);
}

void HashTable::setFactory(Factory make, Destroyer destroy) {
    std::lock_guard lock(impl_->mutex);
    impl_->make = make;
    impl_->destroy = destroy;
}

HashElement* HashTable::HAdd(const HashKey& key) {
    std::lock_guard lock(impl_->mutex);
    HashElement* element = impl_->make();
    if (!element) return nullptr;
    element->key = key;
    impl_->elements.push_back(element);
    return element;
}

HashElement* HashTable::HFind(const HashKey& key) const {
    std::lock_guard lock(impl_->mutex);
    auto found = std::find_if(impl_->elements.begin(), impl_->elements.end(),
                              [&](const HashElement* e) { return e->key == key; });
    return found == impl_->elements.end() ? nullptr : *found;
}

void HashTable::HDelete(HashElement* element) {
    std::lock_guard lock(impl_->mutex);
    auto found = std::find(impl_->elements.begin(), impl_->elements.end(), element);
    if (found == impl_->elements.end()) return;
    impl_->elements.erase(found);
    impl_->destroy(element);
}
