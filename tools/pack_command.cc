#include "tools/pack_command.h"

#include <charconv>
#include <limits>
#include <memory>

#include "archive/file_tail.h"
#include "base/text_escapes.h"
#include "tools/atomic_file.h"

namespace {

// A text option as typed. It is decoded once parsing is over, so that an escape error can name
// its option, and only when given, so that an absent text stays absent.
struct TypedText {
  CLI::Option* option = nullptr;
  std::string typed;

  bool decode(std::string* bytes, std::string* err) const {
    std::string why;
    if (!unescapeText(typed, bytes, &why)) {
      *err = option->get_name() + ": " + why;
      return false;
    }
    return true;
  }
};

// A number option as typed: a decimal integer, whole text, range checked, where the parser's own
// conversion would take an empty value as 0, read "010" as octal and clamp what overflows.
struct TypedNumber {
  CLI::Option* option = nullptr;
  std::string typed;

  template <typename Int>
  bool decode(Int* value, std::string* err) const {
    Int parsed = 0;
    const char* end = typed.data() + typed.size();
    auto [stop, ec] = std::from_chars(typed.data(), end, parsed, 10);
    if (typed.empty() || ec != std::errc() || stop != end) {
      *err = option->get_name() + ": " + escapeText(typed) + " is not a whole number from " +
             std::to_string(std::numeric_limits<Int>::min()) + " to " +
             std::to_string(std::numeric_limits<Int>::max());
      return false;
    }
    *value = parsed;
    return true;
  }
};

struct PackArguments {
  PackRequest request;
  TypedText tag, major, minor, updater, uuid;
  TypedText startMessage, completeMessage, componentParam, mainParam, list;
  TypedNumber mainInt, embeddedParam, blockSize;

  bool decodeNumbers(std::string* err) {
    DataBlockFields& f = request.fields;
    return (mainInt.option->count() == 0 || mainInt.decode(&f.mainIntParam, err)) &&
           (embeddedParam.option->count() == 0 ||
            embeddedParam.decode(&f.embeddedArchiveParam, err)) &&
           (blockSize.option->count() == 0 || blockSize.decode(&f.blockSize, err));
  }

  bool decodeTexts(std::string* err) {
    DataBlockFields& f = request.fields;
    const std::pair<const TypedText*, std::string*> fixed[] = {{&tag, &f.versionTag},
                                                               {&major, &f.majorVersion},
                                                               {&minor, &f.minorVersion},
                                                               {&updater, &f.updaterVersion},
                                                               {&uuid, &f.uuid}};
    for (const auto& [text, field] : fixed) {
      if (text->option->count() > 0 && !text->decode(field, err)) return false;
    }
    const std::pair<const TypedText*, std::optional<std::string>*> spans[] = {
        {&startMessage, &f.startMessage},
        {&completeMessage, &f.completeMessage},
        {&componentParam, &f.componentParam},
        {&mainParam, &f.mainParam},
        {&list, &f.list}};
    for (const auto& [text, field] : spans) {
      if (text->option->count() == 0) continue;
      std::string bytes;
      if (!text->decode(&bytes, err)) return false;
      *field = std::move(bytes);
    }
    return true;
  }
};

constexpr const char* kPackFooter =
    "Text values take escapes, so that any byte can be written: \\n line feed, \\t tab, \\\\ "
    "backslash, \\xHH the byte with hex value HH (\\x00 for a NUL). A message, parameter or list "
    "option not given leaves its text absent (offset slot 0); given an empty value (\"\") it "
    "makes a present, empty text. The version texts and the uuid are filled up with NUL bytes; a "
    "value as "
    "wide as its field is stored without one. The file always ends with the trailer 8192, "
    "whatever --block-size says. Write a value that starts with '-' as --option=VALUE.";

}  // namespace

bool packArchive(const PackRequest& request, std::string* err) {
  std::string block;
  if (!buildDataBlock(request.fields, &block, err)) return false;
  RegularFile payload;
  if (!payload.open(request.payloadPath, err)) return false;
  return writeFileAtomically(request.outputPath, {{payload, 0, payload.size()}, block},
                             newFileMode(), err);
}

Command addPackCommand(CLI::App* app) {
  auto args = std::make_shared<PackArguments>();
  PackRequest& r = args->request;
  DataBlockFields& f = r.fields;
  CLI::App* pack = app->add_subcommand(
      "pack", "Write an archive: the payload's bytes followed by an 8192-byte data block.");
  pack->footer(kPackFooter);
  pack->add_option("PAYLOAD", r.payloadPath, "The file whose bytes come before the block")
      ->required();
  pack->add_option("-o,--output", r.outputPath, "The archive to write")->required();

  auto text = [pack](const char* name, TypedText* into, const std::string& help) {
    into->option = pack->add_option(name, into->typed, help);
  };
  text("--tag", &args->tag, "Version tag, up to 32 bytes (default " + f.versionTag + ")");
  text("--major", &args->major, "Major version, up to 4 bytes (default " + f.majorVersion + ")");
  text("--minor", &args->minor, "Minor version, up to 4 bytes (default " + f.minorVersion + ")");
  text("--updater", &args->updater,
       "Updater version, up to 4 bytes (default " + f.updaterVersion + ")");
  text("--uuid", &args->uuid, "UUID, up to 128 bytes (default all NUL)");
  text("--start-message", &args->startMessage, "Start message (default absent)");
  text("--complete-message", &args->completeMessage, "Complete message (default absent)");
  text("--component-param", &args->componentParam, "Component parameter (default absent)");
  text("--main-param", &args->mainParam, "Main parameter (default absent)");
  text("--list", &args->list, "The list: its items joined by commas (default absent)");
  auto number = [pack](const char* name, TypedNumber* into, auto initial, const std::string& help) {
    into->option = pack->add_option(name, into->typed, help)
                       ->type_name("INT")
                       ->default_str(std::to_string(initial));
  };
  number("--main-int", &args->mainInt, f.mainIntParam, "Main integer parameter, 32-bit");
  number("--embedded-param", &args->embeddedParam, f.embeddedArchiveParam,
         "Embedded archive parameter, 64-bit");
  number("--block-size", &args->blockSize, f.blockSize, "The blockSize field, 32-bit");

  return Command{pack, [args](int*, std::string* err) {
                   return args->decodeTexts(err) && args->decodeNumbers(err) &&
                          packArchive(args->request, err);
                 }};
}
