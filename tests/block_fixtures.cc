#include "tests/block_fixtures.h"

#include <stdexcept>

std::string block(const DataBlockFields& fields) {
  std::string bytes, err;
  if (!buildDataBlock(fields, &bytes, &err)) throw std::runtime_error(err);
  return bytes;
}

std::string withInt32(std::string bytes, const layout::Field& field, int32_t value) {
  setBlockInt32(&bytes, field, value);
  return bytes;
}

std::string withSlots(std::initializer_list<std::pair<layout::TextSlot, int32_t>> slots) {
  std::string bytes = block();
  for (auto [slot, offset] : slots) setBlockInt32(&bytes, layout::kTextOffsetFields[slot], offset);
  return bytes;
}

DataBlockFields versions(std::string major, std::string minor, std::string updater) {
  DataBlockFields f;
  f.majorVersion = std::move(major);
  f.minorVersion = std::move(minor);
  f.updaterVersion = std::move(updater);
  return f;
}

DataBlockFields tag(std::string text) {
  DataBlockFields f;
  f.versionTag = std::move(text);
  return f;
}

std::string defaultBlockListing(const std::string& start, const std::string& complete) {
  using namespace std::string_literals;
  return "QPA_DataBlock:\nData block size = 8192 bytes\nversion str=V1DRN4000HBS1000ZTV1000\n"
         "ZTV Major Version:7\0\0\0\nZTV Minor Version:14\0\0\nZTV Updater Version:1\0\0\0\n"
         "UUID:"s +
         std::string(128, '\0') + "\nStart message:" + start + "\nComplete message:" + complete +
         "\n";
}
