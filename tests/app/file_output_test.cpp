// The file services against a scratch folder below the test's working
// directory, through the Windows file functions.
#include "app/file_output.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/kernel_handle.h"

namespace orvalin {
namespace {

namespace fs = std::filesystem;

// A fresh, empty folder per test, named after it; relative paths below it go
// through the current directory the way the job's folder names do.
class FileOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = std::string("file_output_scratch\\") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(scratch_);
    fs::create_directories(scratch_);
  }

  // A path inside the scratch folder, Windows style: "<scratch>\<name>".
  Text Path(const std::string& name) const { return Text(scratch_ + "\\" + name); }

  static bool Exists(const Text& path) {
    return GetFileAttributesA(path.Data()) != INVALID_FILE_ATTRIBUTES;
  }

  static bool IsFolder(const Text& path) {
    const DWORD attributes = GetFileAttributesA(path.Data());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  static std::string Content(const Text& path) {
    std::ifstream in(path.Data(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  static void Put(const Text& path, const std::string& content) {
    std::ofstream(path.Data(), std::ios::binary) << content;
  }

  bool ScratchIsEmpty() const { return fs::is_empty(scratch_); }

  std::string scratch_;
};

Bytes AsBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST_F(FileOutput, WriteReplacesTheWholeFile) {
  // Zero bytes and "\" (0x5C) as a GBK trail byte must pass untouched.
  const std::string binary("\x00\xff\xb0\x5c\r\n\x1a" "end", 10);
  struct Case {
    const char* what;
    bool existing;
    std::string data;
  } cases[] = {
      {"new file", false, binary},
      {"new file from empty data", false, ""},
      {"existing file emptied", true, ""},
      {"longer existing file cut to the new data", true, "short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Text path = Path(std::string(c.what) + ".jpg");
    if (c.existing) Put(path, std::string(1000, 'x'));
    EXPECT_TRUE(WriteFileBytes(path, AsBytes(c.data)));
    ASSERT_TRUE(Exists(path));
    EXPECT_EQ(Content(path), c.data);
  }
}

TEST_F(FileOutput, WriteFailsOnAFileHeldOpenWithoutSharing) {
  const Text path = Path("1.jpg");
  Put(path, "held");
  {
    const KernelHandle held(CreateFileA(path.Data(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    EXPECT_FALSE(WriteFileBytes(path, AsBytes("new")));
    EXPECT_FALSE(WriteFileBytes(path, Bytes()));
  }
  EXPECT_EQ(Content(path), "held");
  EXPECT_TRUE(WriteFileBytes(path, AsBytes("new")));
}

TEST_F(FileOutput, WriteFailsWhenTheFolderIsMissing) {
  EXPECT_FALSE(WriteFileBytes(Path("missing\\1.jpg"), AsBytes("x")));
  EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(FileOutput, EmptyPathsTouchNothing) {
  EXPECT_FALSE(WriteFileBytes(Text(), AsBytes("x")));
  EXPECT_FALSE(WriteFileBytes(Text(""), Bytes()));
  EXPECT_FALSE(CreateFolder(Text()));
  EXPECT_FALSE(CreateFolder(Text("")));
  EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(FileOutput, CreateFolderMakesOneLevelOnce) {
  const Text folder = Path("0");
  EXPECT_TRUE(CreateFolder(folder));
  EXPECT_TRUE(IsFolder(folder));
  Put(Path("0\\1.jpg"), "kept");

  EXPECT_FALSE(CreateFolder(folder));
  EXPECT_EQ(Content(Path("0\\1.jpg")), "kept");
}

TEST_F(FileOutput, CreateFolderMakesNoParents) {
  EXPECT_FALSE(CreateFolder(Path("a\\b")));
  EXPECT_FALSE(Exists(Path("a")));
  EXPECT_TRUE(ScratchIsEmpty());
}

TEST_F(FileOutput, CreateFolderFailsWhereAFileHasTheName) {
  Put(Path("00"), "a file");
  EXPECT_FALSE(CreateFolder(Path("00")));
  EXPECT_FALSE(IsFolder(Path("00")));
  EXPECT_EQ(Content(Path("00")), "a file");
}

}  // namespace
}  // namespace orvalin
