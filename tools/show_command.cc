#include "tools/show_command.h"

#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>
#include <vector>

#include "archive/data_block_layout.h"
#include "archive/data_block_reader.h"
#include "archive/embedded_probe.h"
#include "archive/file_tail.h"
#include "archive/little_endian.h"
#include "archive/required_version.h"
#include "base/text_escapes.h"
#include "tools/archive_file.h"

namespace {

// Keys in the order in which the text form shows them.
using json = nlohmann::ordered_json;

// The list's span as it lay in the block: its items joined again by the commas that split it.
std::string listSpan(const DataBlock& block) {
  std::string span;
  for (size_t i = 0; i < block.listItems.size(); ++i) {
    if (i > 0) span += layout::kListSeparator;
    span += block.listItems[i];
  }
  return span;
}

// One of the five texts: its slot's name, its span, and the bytes the span holds.
struct ShownText {
  std::string_view name;
  TextSpan span;
  std::string bytes;
};

// Everything show reports, each value worked out once; the text and the JSON form only format it.
struct Shown {
  std::string path;
  uint64_t size = 0;
  std::optional<int32_t> trailer;
  // Accepted by the reader, which is also when the launcher's probe counts the file as an
  // executable with its archive appended.
  bool accepted = false;
  std::string refusal;
  std::optional<std::string> runtimeVersion;  // the verdict, for an accepted block
  bool versionAccepted = false;
  // A refused block still yields its size, embeddedArchiveParam and tag; a malformed one nothing.
  bool blockRead = false;
  DataBlock block;
  bool blockSizeMatchesTrailer = false;
  std::vector<ShownText> texts;
  std::optional<ArchiveParts> parts;
  std::string partsError;
};

std::string versionVerdict(bool versionAccepted) {
  return versionAccepted ? "accepted, " + requiredVersionName()
                         : "refused: the launcher accepts " + requiredVersionName() + " only";
}

// Everything comes from one read of the file's two ends, so that a file that changes meanwhile
// shows one state of it, and a large one costs no more than a small one.
bool gather(const std::string& path, Shown* shown, std::string* err) {
  FileEnds ends;
  if (!readFileEnds(path, layout::kTrailerField.width, layout::kBlockSize, &ends, err)) {
    return false;
  }
  shown->path = path;
  shown->size = ends.size;
  if (ends.tail.size() >= layout::kTrailerField.width) {
    shown->trailer = static_cast<int32_t>(loadLE32(reinterpret_cast<const unsigned char*>(
        ends.tail.data() + ends.tail.size() - layout::kTrailerField.width)));
  }
  shown->accepted = dataBlockAtEnd(path, ends.size, ends.tail, &shown->block, &shown->refusal);
  const DataBlock& b = shown->block;
  shown->blockRead = shown->accepted || !b.versionTag.empty();
  shown->blockSizeMatchesTrailer = shown->trailer && *shown->trailer == b.blockSize;
  if (!shown->accepted) return true;
  const auto* block = reinterpret_cast<const unsigned char*>(ends.tail.data());
  TextSpans spans;
  std::string why;
  if (!resolveTextSpans(block, &spans, &why)) {
    shown->accepted = false;
    shown->refusal = why;
    return true;
  }
  for (int slot = 0; slot < layout::kTextSlotCount; ++slot) {
    const std::string* text = slotText(b, static_cast<layout::TextSlot>(slot));
    shown->texts.push_back({layout::kTextSlotNames[slot], spans[slot], text ? *text : listSpan(b)});
  }
  shown->versionAccepted = isRequiredVersion(b);
  shown->runtimeVersion = versionVerdict(shown->versionAccepted);
  ArchiveParts parts;
  if (locateArchiveParts(ends.size, ends.head, b, &parts, &shown->partsError)) {
    shown->parts = parts;
  }
  return true;
}

// A text in quotes, escaped, with a run of NUL bytes at its end (the padding of a fixed-width
// field, or of a span) counted rather than spelled out.
std::string quoted(const std::string& text) {
  size_t end = text.find_last_not_of('\0');
  end = end == std::string::npos ? 0 : end + 1;
  std::string shown = "\"" + escapeText(std::string_view(text).substr(0, end)) + "\"";
  if (end < text.size()) shown += " + " + std::to_string(text.size() - end) + " NUL";
  return shown;
}

void writeText(const Shown& s, std::ostream& out) {
  out << "file: " << escapeText(s.path) << "\n";
  out << "size: " << s.size << " bytes\n";
  out << "trailer: "
      << (s.trailer ? std::to_string(*s.trailer) : "none: the file is shorter than 4 bytes")
      << "\n";
  out << "launcher's probe: "
      << (s.accepted ? "counts as an appended archive" : "does not count as an appended archive")
      << "\n";
  out << "data block: " << (s.accepted ? "accepted" : "not accepted: " + escapeText(s.refusal))
      << "\n";
  if (s.runtimeVersion) out << "runtime version: " << *s.runtimeVersion << "\n";
  if (!s.blockRead) return;
  const DataBlock& b = s.block;
  out << "blockSize: " << b.blockSize
      << (s.blockSizeMatchesTrailer ? ", as the trailer" : ", unlike the trailer") << "\n";
  out << "embeddedArchiveParam: " << b.embeddedArchiveParam << "\n";
  out << "versionTag: " << quoted(b.versionTag) << "\n";
  if (!s.accepted) return;
  out << "majorVersion: " << quoted(b.majorVersion) << "\n";
  out << "minorVersion: " << quoted(b.minorVersion) << "\n";
  out << "updaterVersion: " << quoted(b.updaterVersion) << "\n";
  out << "uuid: " << quoted(b.uuid) << "\n";
  out << "mainIntParam: " << b.mainIntParam << "\n";
  for (const ShownText& text : s.texts) {
    out << text.name << ": ";
    if (!text.span.present) {
      out << "absent\n";
      continue;
    }
    size_t size = text.span.end - text.span.offset;
    out << size << (size == 1 ? " byte" : " bytes") << " from offset " << text.span.offset << " to "
        << text.span.end << ": " << quoted(text.bytes) << "\n";
  }
  out << "listItems:";
  if (b.listItems.empty()) out << " none";
  for (size_t i = 0; i < b.listItems.size(); ++i) {
    out << (i == 0 ? " " : ", ") << quoted(b.listItems[i]);
  }
  out << "\n";
  if (!s.parts) {
    out << "payload: not located: " << s.partsError << "\n";
  } else if (s.parts->executable) {
    out << "payload: " << s.parts->payloadSize << " bytes at offset " << s.parts->payloadOffset
        << ", after an executable of " << s.parts->payloadOffset << " bytes\n";
  } else {
    out << "payload: " << s.parts->payloadSize << " bytes at offset 0\n";
  }
}

json asJson(const Shown& s) {
  json doc;
  doc["file"] = escapeText(s.path);
  doc["size"] = s.size;
  doc["trailer"] = s.trailer ? json(*s.trailer) : json(nullptr);
  doc["appendedArchive"] = s.accepted;
  doc["accepted"] = s.accepted;
  if (!s.accepted) doc["reason"] = escapeText(s.refusal);
  if (s.runtimeVersion) doc["runtimeVersion"] = *s.runtimeVersion;
  if (!s.blockRead) {
    doc["block"] = nullptr;
    return doc;
  }
  const DataBlock& b = s.block;
  json block;
  block["blockSize"] = b.blockSize;
  block["blockSizeMatchesTrailer"] = s.blockSizeMatchesTrailer;
  block["embeddedArchiveParam"] = b.embeddedArchiveParam;
  block["versionTag"] = escapeText(b.versionTag);
  if (s.accepted) {
    block["majorVersion"] = escapeText(b.majorVersion);
    block["minorVersion"] = escapeText(b.minorVersion);
    block["updaterVersion"] = escapeText(b.updaterVersion);
    block["uuid"] = escapeText(b.uuid);
    block["mainIntParam"] = b.mainIntParam;
    json texts = json::object();
    for (const ShownText& text : s.texts) {
      std::string name(text.name);
      if (!text.span.present) {
        texts[name] = nullptr;
        continue;
      }
      texts[name] = {{"offset", text.span.offset},
                     {"end", text.span.end},
                     {"size", text.span.end - text.span.offset},
                     {"text", escapeText(text.bytes)}};
    }
    block["texts"] = texts;
    json items = json::array();
    for (const std::string& item : b.listItems) items.push_back(escapeText(item));
    block["listItems"] = items;
  }
  doc["block"] = block;
  if (!s.accepted) return doc;
  if (s.parts) {
    doc["payload"] = {{"offset", s.parts->payloadOffset},
                      {"size", s.parts->payloadSize},
                      {"afterExecutable", s.parts->executable}};
  } else {
    doc["payload"] = nullptr;
    doc["payloadError"] = s.partsError;
  }
  return doc;
}

}  // namespace

bool showArchive(const ShowRequest& request, std::ostream& out, bool* accepted, std::string* err) {
  Shown shown;
  if (!gather(request.path, &shown, err)) return false;
  if (request.json) {
    out << asJson(shown).dump(2) << "\n";
  } else {
    writeText(shown, out);
  }
  out.flush();
  *accepted = shown.accepted && shown.versionAccepted;
  return true;
}

Command addShowCommand(CLI::App* app) {
  auto request = std::make_shared<ShowRequest>();
  CLI::App* show = app->add_subcommand(
      "show", "Show every field of a file's data block as the launcher's reader yields it.");
  show->footer(
      "FILE is an archive or an executable with an archive appended. Texts are shown escaped "
      "(\\n, \\t, \\\\, \\xHH for any other byte outside printable ASCII), as qpa pack takes "
      "them; a run of NUL bytes at a text's end is counted. Each text's offset slot and span "
      "are given in block offsets. The payload of an executable (a file that starts with an ELF "
      "header and whose embeddedArchiveParam is not 0) begins at embeddedArchiveParam, otherwise "
      "at 0. Exit status 0 when the launcher accepts the block and its runtime version, 2 when "
      "it does not (the reason is shown), 1 when the file cannot be read.");
  show->add_option("FILE", request->path, "The archive or executable")->required();
  show->add_flag("--json", request->json, "Print one JSON document");
  return Command{show, [request](int* status, std::string* err) {
                   bool accepted = false;
                   if (!showArchive(*request, std::cout, &accepted, err)) return false;
                   if (!accepted) *status = kAnswerNo;
                   return true;
                 }};
}
