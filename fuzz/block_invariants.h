// What must hold for any record that the archive code builds from untrusted bytes. A broken
// invariant aborts, so that libFuzzer keeps the input that broke it.
#pragma once

#include <cstddef>
#include <string>

#include "archive/data_block.h"

// Aborts with |what| on standard error when |ok| is false.
void fuzzCheck(bool ok, const char* what);

bool isInitialRecord(const DataBlock& block);
bool sameRecord(const DataBlock& a, const DataBlock& b);

// A record with every field set to something no block gives, to show that a parse or a read
// starts from the initial state.
DataBlock clutteredRecord();

// Checks the outcome of parsing the |size| bytes at |bytes| into |block|, where |accepted| and
// |err| are what the parser returned: acceptance exactly for a well-formed 8192-byte block with
// the expected tag; an accepted record holding the fixed fields and the spans of those bytes; a
// record that is not accepted being initial, or refused with another tag and nothing else set.
void checkParsedBlock(const unsigned char* bytes, size_t size, bool accepted,
                      const DataBlock& block, const std::string& err);
