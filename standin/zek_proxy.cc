// The stand-in runtime: the sixteen proxy functions over a payload program (payload_program.h),
// with the test controls of controls.h. It keeps one application and at most one component
// instance at a time, and writes no text of the application except through its handlers.
#include "runtime/zek_proxy.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "base/text_escapes.h"
#include "standin/controls.h"
#include "standin/payload_program.h"
#include "standin/payload_source.h"

#define STANDIN_EXPORT __attribute__((visibility("default")))

namespace {

struct Stream {
  std::string path;  // empty when no mapped file holds the code address
  int64_t offset;
};

struct Instance {
  intptr_t id = 0;
  zekComponentInstance* address = nullptr;
  zekTextHandler output = nullptr;
  zekTextHandler error = nullptr;
  std::vector<PayloadCommand> program;
  std::vector<std::string> initializerParams;
};

struct Runtime {
  std::mutex mutex;
  std::string lastError;
  std::optional<std::string> archivePath;
  std::shared_ptr<Instance> instance;
  intptr_t lastId = 0;
};

// Made when the library is loaded and never destroyed: nothing of it needs undoing, and no call
// goes through a guard on it.
Runtime& runtimeState = *new Runtime;

Runtime& runtime() { return runtimeState; }

void setLastError(std::string text) {
  std::lock_guard<std::mutex> lock(runtime().mutex);
  runtime().lastError = std::move(text);
}

bool madeToFail(std::string_view function) {
  if (!failureRequested(function)) return false;
  setLastError(failureText(function));
  return true;
}

std::string quoted(const char* value) { return value ? quoteText(value) : "null"; }
std::string pointer(bool set) { return set ? "ptr" : "null"; }
std::string number(int64_t value) { return std::to_string(value); }
std::string orNull(const char* value) { return value ? value : "(null)"; }

// The first |count| entries of |entries|, stopping at a null entry.
std::string list(char* const* entries, int64_t count) {
  if (!entries) return "null";
  std::string out = "[";
  for (int64_t i = 0; i < count && entries[i]; ++i) {
    out += (i ? ", " : "") + quoteText(entries[i]);
  }
  return out + "]";
}

std::string call(const char* function, std::initializer_list<std::string> args) {
  std::string line = std::string(function) + "(";
  for (const std::string& arg : args) line += (&arg == args.begin() ? "" : ", ") + arg;
  return line + ")";
}

bool createInstance(const char* function, zekComponentInstance* instance,
                    zekTextHandler errorHandler, zekTextHandler outputHandler,
                    const std::string& path, int64_t offset, std::vector<std::string> params) {
  if (!instance || !errorHandler || !outputHandler) {
    setLastError(std::string(function) + ": null instance address or handler");
    return false;
  }
  std::string payload, err;
  if (!readPayload(path, offset, &payload, &err)) {
    setLastError(err);
    return false;
  }
  auto created = std::make_shared<Instance>();
  created->address = instance;
  created->output = outputHandler;
  created->error = errorHandler;
  created->program = parsePayloadProgram(payload);
  created->initializerParams = std::move(params);
  std::lock_guard<std::mutex> lock(runtime().mutex);
  created->id = ++runtime().lastId;
  runtime().instance = created;
  *instance = created.get();
  return true;
}

std::shared_ptr<Instance> liveInstance(zekComponentInstance instance) {
  std::lock_guard<std::mutex> lock(runtime().mutex);
  if (instance && runtime().instance.get() == instance) return runtime().instance;
  return nullptr;
}

}  // namespace

STANDIN_EXPORT bool zekztvInitialize_proxy(void) {
  trace([] { return call("zekztvInitialize_proxy", {}); });
  return !madeToFail("zekztvInitialize_proxy");
}

STANDIN_EXPORT int64_t getInitOptionsFromQpaFile_proxy(char*** options, const char* archivePath) {
  trace([&] {
    return call("getInitOptionsFromQpaFile_proxy", {pointer(options), quoted(archivePath)});
  });
  if (!options || !archivePath) {
    if (options) *options = nullptr;
    setLastError("getInitOptionsFromQpaFile_proxy: null options address or archive path");
    return -1;
  }
  // Null-terminated, so that zekFreeStrArray_proxy needs no count, and one block with its texts,
  // so that making and freeing it is one call each.
  static constexpr char kQpa[] = "-qpa";
  constexpr size_t kTextsAt = 3 * sizeof(char*);
  size_t pathSize = strlen(archivePath) + 1;
  char** array = static_cast<char**>(malloc(kTextsAt + sizeof kQpa + pathSize));
  if (!array) {
    *options = nullptr;
    setLastError("getInitOptionsFromQpaFile_proxy: out of memory");
    return -1;
  }
  char* texts = reinterpret_cast<char*>(array) + kTextsAt;
  array[0] = static_cast<char*>(memcpy(texts, kQpa, sizeof kQpa));
  array[1] = static_cast<char*>(memcpy(texts + sizeof kQpa, archivePath, pathSize));
  array[2] = nullptr;
  *options = array;
  return 2;
}

STANDIN_EXPORT bool zekInitializeApplication_proxy(char** options, int64_t count) {
  trace([&] {
    return call("zekInitializeApplication_proxy", {list(options, count), number(count)});
  });
  if (madeToFail("zekInitializeApplication_proxy")) return false;
  for (int64_t i = 0; options && i + 1 < count && options[i] && options[i + 1]; ++i) {
    if (std::string_view(options[i]) == "-qpa") {
      std::lock_guard<std::mutex> lock(runtime().mutex);
      runtime().archivePath = options[i + 1];
      return true;
    }
  }
  setLastError("zekInitializeApplication_proxy: the options name no archive (-qpa PATH)");
  return false;
}

STANDIN_EXPORT void zekFreeStrArray_proxy(char** options, int64_t count) {
  trace([&] { return call("zekFreeStrArray_proxy", {pointer(options), number(count)}); });
  free(options);
}

STANDIN_EXPORT int zekRunMain_proxy(zekRunCallback callback, int argc, char** argv) {
  trace([&] {
    return call("zekRunMain_proxy", {pointer(callback), number(argc), list(argv, argc)});
  });
  if (!callback) {
    setLastError("zekRunMain_proxy: null callback");
    return -1;
  }
  int result = -1;
  std::exception_ptr failure;
  try {
    std::thread main([&] {
      try {
        result = callback(argc, argv);
      } catch (...) {
        failure = std::current_exception();
      }
    });
    main.join();
  } catch (const std::system_error& e) {
    setLastError(std::string("zekRunMain_proxy: cannot start the main thread: ") + e.what());
    return -1;
  }
  // An exception that left the callback goes on to the caller, as if the call had been direct.
  if (failure) std::rethrow_exception(failure);
  return result;
}

STANDIN_EXPORT const char* zekGetLastErrorMessage_proxy(void) {
  trace([] { return call("zekGetLastErrorMessage_proxy", {}); });
  if (nullErrorRequested()) return nullptr;
  // A copy per thread: the text stays valid while another thread sets a new one.
  thread_local std::string copy;
  std::lock_guard<std::mutex> lock(runtime().mutex);
  copy = runtime().lastError;
  return copy.c_str();
}

STANDIN_EXPORT zekStream zekGetEmbeddedQpaStream_proxy(void* codeAddress,
                                                       int64_t embeddedArchiveParam) {
  std::string path;
  bool found = codeAddress && findMappedFile(codeAddress, &path);
  trace([&] {
    return call("zekGetEmbeddedQpaStream_proxy",
                {found ? quoteText(path) : pointer(codeAddress), number(embeddedArchiveParam)});
  });
  return new Stream{std::move(path), embeddedArchiveParam};
}

STANDIN_EXPORT bool zekInitializeComponentInstanceEmbedded_proxy(zekComponentInstance* instance,
                                                                 zekTextHandler errorHandler,
                                                                 zekTextHandler outputHandler,
                                                                 zekStream stream,
                                                                 int64_t embeddedArchiveParam) {
  static constexpr char kName[] = "zekInitializeComponentInstanceEmbedded_proxy";
  trace([&] {
    return call(kName, {pointer(instance), pointer(errorHandler), pointer(outputHandler),
                        pointer(stream), number(embeddedArchiveParam)});
  });
  if (madeToFail(kName)) return false;
  const Stream* source = static_cast<const Stream*>(stream);
  std::string err;
  if (!source) {
    err = std::string(kName) + ": null stream";
  } else if (source->path.empty()) {
    err = "cannot read the application payload: no mapped file holds the code address";
  } else if (source->offset != embeddedArchiveParam) {
    err = std::string(kName) + ": the stream starts at " + number(source->offset) + ", not at " +
          number(embeddedArchiveParam);
  }
  if (!err.empty()) {
    setLastError(err);
    return false;
  }
  return createInstance(kName, instance, errorHandler, outputHandler, source->path,
                        embeddedArchiveParam,
                        {"embeddedArchiveParam=" + number(embeddedArchiveParam) + "\n"});
}

STANDIN_EXPORT void zekDestroyStream_proxy(zekStream stream) {
  trace([&] { return call("zekDestroyStream_proxy", {pointer(stream)}); });
  delete static_cast<Stream*>(stream);
}

STANDIN_EXPORT bool zekInitializeComponentInstanceNonEmbeddedStandalone_proxy(
    zekComponentInstance* instance, const char* applicationDirectory, const char* componentParam,
    int reserved, zekTextHandler errorHandler, zekTextHandler outputHandler) {
  static constexpr char kName[] = "zekInitializeComponentInstanceNonEmbeddedStandalone_proxy";
  trace([&] {
    return call(kName, {pointer(instance), quoted(applicationDirectory), quoted(componentParam),
                        number(reserved), pointer(errorHandler), pointer(outputHandler)});
  });
  if (madeToFail(kName)) return false;
  std::optional<std::string> archive;
  {
    std::lock_guard<std::mutex> lock(runtime().mutex);
    archive = runtime().archivePath;
  }
  if (!archive) {
    setLastError(std::string(kName) + ": no application archive was initialized");
    return false;
  }
  return createInstance(kName, instance, errorHandler, outputHandler, *archive, 0,
                        {"componentParam=" + orNull(componentParam) + "\n",
                         "applicationDirectory=" + orNull(applicationDirectory) + "\n"});
}

STANDIN_EXPORT intptr_t zekGetID_proxy(zekComponentInstance instance) {
  trace([&] { return call("zekGetID_proxy", {pointer(instance)}); });
  std::shared_ptr<Instance> live = liveInstance(instance);
  return live ? live->id : 0;
}

STANDIN_EXPORT int zekSetCmdLineUserData_proxy(intptr_t id, int argc, char** argv) {
  static constexpr char kName[] = "zekSetCmdLineUserData_proxy";
  trace([&] { return call(kName, {number(id), number(argc), list(argv, argc)}); });
  int count = 0;
  if (cmdlineCountRequested(&count)) {
    if (count == -1) setLastError(failureText(kName));
    return count;
  }
  std::lock_guard<std::mutex> lock(runtime().mutex);
  if (!runtime().instance || runtime().instance->id != id) {
    runtime().lastError = std::string(kName) + ": no component instance has the id " + number(id);
    return -1;
  }
  return argc;
}

STANDIN_EXPORT int zekMain_proxy(zekComponentInstance instance, int argc, char** argv,
                                 const char* mainParam, int32_t mainIntParam) {
  trace([&] {
    return call("zekMain_proxy", {pointer(instance), number(argc), list(argv, argc),
                                  quoted(mainParam), number(mainIntParam)});
  });
  std::shared_ptr<Instance> live = liveInstance(instance);
  if (!live) {
    setLastError("zekMain_proxy: no such component instance");
    return -1;
  }
  PayloadContext context{
      live->output,
      live->error,
      argc,
      argv,
      {"mainParam=" + orNull(mainParam) + "\n", "mainIntParam=" + number(mainIntParam) + "\n"}};
  context.params.insert(context.params.end(), live->initializerParams.begin(),
                        live->initializerParams.end());
  int status = runPayloadProgram(live->program, context);
  if (nullInstanceRequested()) *live->address = nullptr;
  return status;
}

STANDIN_EXPORT bool zekTerminateInstance_proxy(zekComponentInstance* instance) {
  trace([&] { return call("zekTerminateInstance_proxy", {pointer(instance)}); });
  if (madeToFail("zekTerminateInstance_proxy")) return false;
  if (!instance) {
    setLastError("zekTerminateInstance_proxy: null instance address");
    return false;
  }
  std::lock_guard<std::mutex> lock(runtime().mutex);
  if (*instance && runtime().instance.get() == *instance) {
    // The runtime knows an instance by the variable it was made in, not only by its value.
    if (runtime().instance->address != instance) {
      runtime().lastError =
          "zekTerminateInstance_proxy: the instance is not terminated through the address it was "
          "made at";
      return false;
    }
    runtime().instance.reset();
  }
  *instance = nullptr;
  return true;
}

STANDIN_EXPORT bool zekTerminateApplication_proxy(void) {
  trace([] { return call("zekTerminateApplication_proxy", {}); });
  if (madeToFail("zekTerminateApplication_proxy")) return false;
  std::lock_guard<std::mutex> lock(runtime().mutex);
  runtime().archivePath.reset();
  return true;
}

STANDIN_EXPORT int zekWrite_proxy(int fd, const char* text, size_t length) {
  trace([&] {
    return call("zekWrite_proxy",
                {number(fd), text ? quoteText({text, length}) : std::string("null"),
                 number(static_cast<int64_t>(length))});
  });
  if (!text && length > 0) {
    setLastError("zekWrite_proxy: null text");
    return -1;
  }
  size_t done = 0;
  while (done < length) {
    ssize_t n = write(fd, text + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      char buffer[256];
      setLastError("zekWrite_proxy: cannot write to descriptor " + number(fd) + ": " +
                   (n < 0 ? strerror_r(errno, buffer, sizeof buffer) : "no progress"));
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<int>(done);
}
