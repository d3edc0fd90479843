#include "tools/loader_listing.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tools/qpa_test_support.h"

namespace {

namespace fs = std::filesystem;

const char kProgram[] = "/opt/app/hello";

TEST(LoaderListing, ParsesEveryLineOfAListing) {
  const std::string out =
      "\tlinux-vdso.so.1 (0x00007ffd1e5f2000)\n"
      "\tlibqxzekztvrt.so => /opt/app/./libqxzekztvrt.so (0x00007f51c0a00000)\n"
      "\tlibfoo.so.2 => not found\n"
      "\t/lib64/ld-linux-x86-64.so.2 (0x00007f51c0c4e000)\n";
  const std::string err =
      "/opt/app/hello: /lib/x86_64-linux-gnu/libc.so.6: version `GLIBC_9.99' not found "
      "(required by /opt/app/hello)\n"
      "undefined symbol: zekMain_proxy\t(/opt/app/hello)\n"
      "undefined symbol: __libc_start_main, version GLIBC_9.99\t(/opt/app/hello)\n";
  LoaderListing listing;
  std::string why;
  ASSERT_TRUE(parseLoaderListing(kProgram, out, err, &listing, &why)) << why;
  ASSERT_EQ(listing.libraries.size(), 4u);
  const ListedLibrary& vdso = listing.libraries[0];
  EXPECT_EQ(std::tie(vdso.name, vdso.path, vdso.found, vdso.searched),
            std::make_tuple("linux-vdso.so.1", "linux-vdso.so.1", true, false));
  const ListedLibrary& proxy = listing.libraries[1];
  EXPECT_EQ(std::tie(proxy.name, proxy.path, proxy.found, proxy.searched),
            std::make_tuple("libqxzekztvrt.so", "/opt/app/./libqxzekztvrt.so", true, true));
  const ListedLibrary& missing = listing.libraries[2];
  EXPECT_EQ(std::tie(missing.name, missing.path, missing.found),
            std::make_tuple("libfoo.so.2", "", false));
  ASSERT_EQ(listing.missingVersions.size(), 1u);
  const MissingVersion& version = listing.missingVersions[0];
  EXPECT_EQ(std::tie(version.library, version.version, version.requiredBy),
            std::make_tuple("/lib/x86_64-linux-gnu/libc.so.6", "GLIBC_9.99", kProgram));
  ASSERT_EQ(listing.undefinedSymbols.size(), 2u);
  EXPECT_EQ(std::tie(listing.undefinedSymbols[0].symbol, listing.undefinedSymbols[0].version,
                     listing.undefinedSymbols[0].requiredBy),
            std::make_tuple("zekMain_proxy", "", kProgram));
  EXPECT_EQ(std::tie(listing.undefinedSymbols[1].symbol, listing.undefinedSymbols[1].version),
            std::make_tuple("__libc_start_main", "GLIBC_9.99"));
  EXPECT_EQ(listing.fatalError, "");
}

TEST(LoaderListing, KeepsTheLoadersStopAndRefusesWhatItCannotPlace) {
  LoaderListing listing;
  std::string why;
  ASSERT_TRUE(parseLoaderListing(kProgram, "",
                                 "/opt/app/hello: error while loading shared libraries: "
                                 "/opt/app/libqxzekztvrt.so: file too short\n",
                                 &listing, &why))
      << why;
  EXPECT_EQ(listing.fatalError,
            "error while loading shared libraries: /opt/app/libqxzekztvrt.so: file too short");

  const std::pair<std::string, std::string> unplaced[] = {
      {"hello, world\n", ""},
      {"\tlibx.so => /lib/libx.so\n", ""},
      {"", "/other/program: error while loading shared libraries: x: y\n"},
      {"", "undefined symbol: x\n"},
  };
  for (const auto& [out, err] : unplaced) {
    EXPECT_FALSE(parseLoaderListing(kProgram, out, err, &listing, &why)) << out << err;
    EXPECT_EQ(why.rfind("unexpected line from the dynamic loader: ", 0), 0u) << why;
  }
}

TEST(LoaderListing, TheLoadersOwnMessages) {
  EXPECT_EQ(missingLibraryMessage("./hello", "libqxzekztvrt.so"),
            "./hello: error while loading shared libraries: libqxzekztvrt.so: cannot open shared "
            "object file: No such file or directory");
  EXPECT_EQ(fatalLoadMessage("hello",
                             "error while loading shared libraries: /a/x.so: file too "
                             "short"),
            "hello: error while loading shared libraries: /a/x.so: file too short");
  // The executable is named by argv[0]; a library by its path.
  EXPECT_EQ(missingVersionMessage("./hello", kProgram, {"/lib/libc.so.6", "GLIBC_9.99", kProgram}),
            "./hello: /lib/libc.so.6: version `GLIBC_9.99' not found (required by ./hello)");
  EXPECT_EQ(missingVersionMessage("./hello", kProgram,
                                  {"/lib/libc.so.6", "GLIBC_9.99", "/lib/libstdc++.so.6"}),
            "./hello: /lib/libc.so.6: version `GLIBC_9.99' not found (required by "
            "/lib/libstdc++.so.6)");
  EXPECT_EQ(undefinedSymbolMessage("./hello", kProgram, {"zekMain_proxy", "", kProgram}),
            "./hello: symbol lookup error: ./hello: undefined symbol: zekMain_proxy");
  EXPECT_EQ(undefinedSymbolMessage("hello", kProgram, {"f", "V_2", "/lib/liba.so"}),
            "hello: symbol lookup error: /lib/liba.so: undefined symbol: f, version V_2");
}

TEST(LoaderListing, TellsWhereAPathCameFrom) {
  using S = LibrarySource;
  struct Case {
    const char* name;
    std::string needed, path;
    std::optional<std::string> runPath;
    bool runPathIsRunPath;
    std::optional<std::string> libraryPath;
    LibrarySource source;
    std::string entry, expanded;
  } cases[] = {
      {"run path entry with $ORIGIN", "libq.so", "/opt/app/../lib/libq.so",
       "$ORIGIN/bin:$ORIGIN/../lib", true, std::nullopt, S::kRunPath, "$ORIGIN/../lib",
       "/opt/app/../lib"},
      {"braced ${ORIGIN} and a trailing slash", "libq.so", "/opt/app/libq.so", "${ORIGIN}/", true,
       std::nullopt, S::kRunPath, "${ORIGIN}/", "/opt/app/"},
      {"LD_LIBRARY_PATH is searched before DT_RUNPATH", "libq.so", "/opt/app/libq.so", "$ORIGIN",
       true, "/x:/opt/app", S::kLibraryPath, "/opt/app", "/opt/app"},
      {"DT_RPATH is searched before LD_LIBRARY_PATH", "libq.so", "/opt/app/libq.so", "$ORIGIN",
       false, "/opt/app", S::kRunPath, "$ORIGIN", "/opt/app"},
      {"a directory of LD_LIBRARY_PATH", "libq.so", "/srv/lib/libq.so", "$ORIGIN", true,
       "/a:/srv/lib/", S::kLibraryPath, "/srv/lib/", "/srv/lib/"},
      {"the system's directories", "libc.so.6", "/lib/x86_64-linux-gnu/libc.so.6", "$ORIGIN", true,
       "/a", S::kSystem, "", ""},
      {"a needed name that is a path", "/opt/q/libq.so", "/opt/q/libq.so", "/opt/q", true,
       std::nullopt, S::kNamedByPath, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LibraryOrigin origin = libraryOrigin({c.needed, c.path, true, true}, c.runPath,
                                         c.runPathIsRunPath, "/opt/app", c.libraryPath);
    EXPECT_EQ(origin.source, c.source);
    EXPECT_EQ(origin.entry, c.entry);
    EXPECT_EQ(origin.expanded, c.expanded);
  }
}

// The loader lists the built launcher without running it: the launcher, run without its archive,
// would write its error lines, which no listing holds.
TEST(LoaderListing, ListsTheLauncherWithAndWithoutItsProxyLibrary) {
  ScratchDirectory dir;
  fs::copy_file(LAUNCHER_PATH, dir.file("app"));
  LoaderListing listing;
  std::string err;
  ASSERT_TRUE(listLoadedLibraries(dir.file("app"), std::nullopt, &listing, &err)) << err;
  auto proxy = [&]() -> const ListedLibrary* {
    for (const ListedLibrary& library : listing.libraries)
      if (library.name == "libqxzekztvrt.so") return &library;
    return nullptr;
  };
  ASSERT_NE(proxy(), nullptr);
  EXPECT_FALSE(proxy()->found);
  EXPECT_EQ(listing.fatalError, "");

  fs::create_directory(dir.file("lib"));
  fs::copy_file(STANDIN_PATH, dir.file("lib/libqxzekztvrt.so"));
  ASSERT_TRUE(listLoadedLibraries(dir.file("app"), dir.file("lib"), &listing, &err)) << err;
  ASSERT_NE(proxy(), nullptr);
  EXPECT_EQ(proxy()->path, dir.file("lib/libqxzekztvrt.so"));
  EXPECT_TRUE(listing.undefinedSymbols.empty());

  writeFile(dir.file("lib/libqxzekztvrt.so"), "");
  ASSERT_TRUE(listLoadedLibraries(dir.file("app"), dir.file("lib"), &listing, &err)) << err;
  EXPECT_EQ(listing.fatalError, "error while loading shared libraries: " +
                                    dir.file("lib/libqxzekztvrt.so") + ": file too short");
}

}  // namespace
