// The runtime's string stack, one per host thread: the application pushes
// string arguments before a call, the driver pops them and pushes results.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fault_table.h"
#include "host_control.h"

namespace {

thread_local std::vector<std::string> stack;

char* heapCopy(const std::string& text) {
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

}  // namespace

namespace x9host {

std::size_t stringStackDepth() {
    return stack.size();
}
void dropStrings(std::size_t keep) {
    if (stack.size() > keep) stack.resize(keep);
}

std::string popString() {
    HrtString s{};
    Hrt$PopTemp(&s);
    std::string text(s.text, static_cast<std::size_t>(s.length));
    Hrt$freestr(&s);
    return text;
}

}  // namespace x9host

extern "C" {

// Popping an empty stack gives an empty string, as the runtime does for an
// operation called without its arguments.
void Hrt$PopTemp(HrtString* out) {
    std::string top;
    if (!stack.empty()) {
        top = std::move(stack.back());
        stack.pop_back();
    }
    out->text = heapCopy(top);
    out->length = static_cast<int32_t>(top.size());
}

void Hrt$freestr(HrtString* s) {
    std::free(s->text);
    s->text = nullptr;
    s->length = 0;
}

void Hrt$PushString(const char* text, int32_t length) {
    if (!text || length < 0) length = 0;
    stack.emplace_back(text ? text : "", static_cast<std::size_t>(length));
}

void Hrt$PushCString(const char* text) {
    stack.emplace_back(text ? text : "");
}

// Fills the buffer from the top string: cut to the buffer, blank-padded.
void Hrt$PopString(char* buffer, int32_t size) {
    std::string top;
    if (!stack.empty()) {
        top = std::move(stack.back());
        stack.pop_back();
    }
    if (!buffer || size <= 0) return;
    std::size_t n = std::min(top.size(), static_cast<std::size_t>(size));
    std::memcpy(buffer, top.data(), n);
    std::memset(buffer + n, ' ', static_cast<std::size_t>(size) - n);
}

// Pushed strings are copies already, so they survive their sources.
void Hrt$StackHeap() {
    x9host::detail::noteEvent("StackHeap");
}

}  // extern "C"
