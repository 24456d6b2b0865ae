// Making and discarding a declaration's Drv_FCB (attach and detach), with the
// field table built from the record's class descriptor.
#pragma once

#include "driver_core.h"

namespace drv {

// Makes the block; answers 0 or the error (47, 75, 79, 8 when no memory).
// A block may be left behind on errors of the field table.
int32_t attachBlock(const DriverDefinition& driver, Drv_FileDecl& declaration);
// Discards the block with whatever it still holds (file object, buffers).
void detachBlock(const DriverDefinition& driver, Drv_FileDecl& declaration);
int32_t buildFieldTable(const DriverDefinition& driver, Drv_FCB& fcb);

// Owned text helpers: blocks of the host's allocator, freed and nulled.
char* copyText(const char* text);
void freeText(char*& text);
// Frees the text and answers null, for fields of packed records, which no
// reference may bind to: field = freedText(field).
char* freedText(char* text);

}  // namespace drv
