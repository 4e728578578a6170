#include "core/platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/platform/fault_injection.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class FilesTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearWriteFaults(); }
  TempDir dir_;
};

TEST_F(FilesTest, CreateReplacesAndWritesAppendAtTheMark) {
  FileRef ref;
  ASSERT_EQ(MakeFileRef(dir_.file("a.mov"), &ref), noErr);
  { std::ofstream(ref.path) << "old contents"; }
  ASSERT_EQ(CreateEmptyFile(ref), noErr);
  EXPECT_EQ(ReadAll(ref.path), "");

  int fd = kNoFile;
  ASSERT_EQ(OpenFile(ref, OpenMode::kReadWrite, &fd), noErr);
  ASSERT_EQ(WriteAtMark(fd, "hello", 5), noErr);
  ASSERT_EQ(CloseFile(fd), noErr);

  ASSERT_EQ(OpenFile(ref, OpenMode::kReadWrite, &fd), noErr);
  ASSERT_EQ(MoveMarkToEnd(fd), noErr);
  ASSERT_EQ(WriteAtMark(fd, " world", 6), noErr);
  ASSERT_EQ(WriteAtOffset(fd, 0, "J", 1), noErr);
  ASSERT_EQ(WriteAtMark(fd, "!", 1), noErr);  // the mark did not move with the offset write
  uint64_t size = 0;
  ASSERT_EQ(GetFileSizeBytes(fd, &size), noErr);
  EXPECT_EQ(size, 12u);
  ASSERT_EQ(CloseFile(fd), noErr);
  EXPECT_EQ(ReadAll(ref.path), "Jello world!");
}

TEST_F(FilesTest, ReadsTruncatesRenamesAndDeletes) {
  FileRef a, b;
  ASSERT_EQ(MakeFileRef(dir_.file("a"), &a), noErr);
  ASSERT_EQ(MakeFileRef(dir_.file("b"), &b), noErr);
  { std::ofstream(a.path) << "0123456789"; }
  int fd = kNoFile;
  ASSERT_EQ(OpenFile(a, OpenMode::kReadWrite, &fd), noErr);
  char buf[8] = {};
  ASSERT_EQ(ReadAtOffset(fd, 6, buf, 4), noErr);
  EXPECT_EQ(std::string(buf, 4), "6789");
  EXPECT_EQ(ReadAtOffset(fd, 8, buf, 4), eofErr);
  size_t got = 0;
  ASSERT_EQ(ReadAtMark(fd, buf, 8, &got), noErr);
  EXPECT_EQ(got, 8u);
  ASSERT_EQ(ReadAtMark(fd, buf, 8, &got), noErr);
  EXPECT_EQ(got, 2u);
  EXPECT_EQ(ReadAtMark(fd, buf, 8, &got), eofErr);
  ASSERT_EQ(TruncateFile(fd, 4), noErr);
  ASSERT_EQ(SyncFileData(fd), noErr);
  ASSERT_EQ(CloseFile(fd), noErr);
  ASSERT_EQ(RenameFile(a, b), noErr);
  EXPECT_FALSE(FileExists(a));
  EXPECT_EQ(ReadAll(b.path), "0123");
  ASSERT_EQ(DeleteFile(b), noErr);
  EXPECT_EQ(DeleteFile(b), fnfErr);
}

TEST_F(FilesTest, ErrnoBecomesFileManagerCodes) {
  EXPECT_EQ(OSErrFromErrno(ENOSPC), dskFulErr);
  EXPECT_EQ(OSErrFromErrno(EDQUOT), dskFulErr);
  EXPECT_EQ(OSErrFromErrno(EFBIG), dskFulErr);
  EXPECT_EQ(OSErrFromErrno(ENOENT), fnfErr);
  EXPECT_EQ(OSErrFromErrno(EEXIST), dupFNErr);
  EXPECT_EQ(OSErrFromErrno(ENAMETOOLONG), bdNamErr);
  EXPECT_EQ(OSErrFromErrno(ENOTDIR), dirNFErr);
  EXPECT_EQ(OSErrFromErrno(EIO), ioErr);
  EXPECT_EQ(OSErrFromErrno(EACCES), permErr);
  EXPECT_EQ(OSErrFromErrno(EPERM), permErr);
  EXPECT_EQ(OSErrFromErrno(EROFS), wPrErr);
  EXPECT_EQ(OSErrFromErrno(ENOMEM), memFullErr);
  EXPECT_EQ(OSErrFromErrno(EBADF), EBADF);  // no counterpart: the errno itself

  FileRef missing, longName, underFile;
  ASSERT_EQ(MakeFileRef(dir_.file("nope/x"), &missing), noErr);
  EXPECT_EQ(CreateEmptyFile(missing), fnfErr);
  ASSERT_EQ(MakeFileRef(dir_.file(std::string(300, 'n')), &longName), noErr);
  EXPECT_EQ(CreateEmptyFile(longName), bdNamErr);
  { std::ofstream(dir_.file("plain")) << "x"; }
  ASSERT_EQ(MakeFileRef(dir_.file("plain/x"), &underFile), noErr);
  EXPECT_EQ(CreateEmptyFile(underFile), dirNFErr);
  FileRef empty;
  EXPECT_EQ(MakeFileRef("", &empty), bdNamErr);
}

// Writes go to the system in pieces of at most 1 MiB: the pieces must land
// whole, in order, at the mark or the offset, and a fault in the middle of
// a large write still leaves exactly the bytes it let through.
TEST_F(FilesTest, LargeWritesLandWholeAndInOrder) {
  FileRef ref;
  ASSERT_EQ(MakeFileRef(dir_.file("large"), &ref), noErr);
  ASSERT_EQ(CreateEmptyFile(ref), noErr);
  std::string big(3 * 1024 * 1024 + 512 * 1024 + 123, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 8);
  int fd = kNoFile;
  ASSERT_EQ(OpenFile(ref, OpenMode::kReadWrite, &fd), noErr);
  ASSERT_EQ(WriteAtMark(fd, "head", 4), noErr);
  ASSERT_EQ(WriteAtMark(fd, big.data(), big.size()), noErr);
  uint64_t mark = 0;
  ASSERT_EQ(GetMarkBytes(fd, &mark), noErr);
  EXPECT_EQ(mark, 4 + big.size());
  const std::string patch(2 * 1024 * 1024 + 5, 'p');
  ASSERT_EQ(WriteAtOffset(fd, 1000, patch.data(), patch.size()), noErr);
  EXPECT_EQ(CloseFile(fd), noErr);
  std::string expected = "head" + big;
  expected.replace(1000, patch.size(), patch);
  EXPECT_TRUE(ReadAll(ref.path) == expected);

  FileRef limited;
  ASSERT_EQ(MakeFileRef(dir_.file("limited-large"), &limited), noErr);
  ASSERT_EQ(CreateEmptyFile(limited), noErr);
  InjectWriteFault({.path = limited.path, .sizeLimitBytes = 2 * 1024 * 1024 + 17});
  ASSERT_EQ(OpenFile(limited, OpenMode::kReadWrite, &fd), noErr);
  EXPECT_EQ(WriteAtMark(fd, big.data(), big.size()), dskFulErr);
  EXPECT_EQ(CloseFile(fd), noErr);
  EXPECT_TRUE(ReadAll(limited.path) == big.substr(0, 2 * 1024 * 1024 + 17));
}

TEST_F(FilesTest, WriteToDevFullIsDiskFull) {
  FileRef full{"/dev/full"};
  int fd = kNoFile;
  ASSERT_EQ(OpenFile(full, OpenMode::kReadWrite, &fd), noErr);
  std::vector<char> bytes(4096, 'x');
  EXPECT_EQ(WriteAtMark(fd, bytes.data(), bytes.size()), dskFulErr);
  EXPECT_EQ(WriteAtOffset(fd, 0, bytes.data(), bytes.size()), dskFulErr);
  EXPECT_EQ(CloseFile(fd), noErr);
}

TEST_F(FilesTest, InjectedFaultFailsTheNthWriteAfterPartialBytes) {
  FileRef ref;
  ASSERT_EQ(MakeFileRef(dir_.file("f"), &ref), noErr);
  ASSERT_EQ(CreateEmptyFile(ref), noErr);
  InjectWriteFault({.path = ref.path, .failOnWriteNumber = 3, .partialBytes = 2, .code = dskFulErr});
  int fd = kNoFile;
  ASSERT_EQ(OpenFile(ref, OpenMode::kReadWrite, &fd), noErr);
  EXPECT_EQ(WriteAtMark(fd, "aaaa", 4), noErr);
  EXPECT_EQ(WriteAtMark(fd, "bbbb", 4), noErr);
  EXPECT_EQ(WriteAtMark(fd, "cccc", 4), dskFulErr);
  EXPECT_EQ(WriteAtMark(fd, "dddd", 4), noErr);  // only the third write fails
  EXPECT_EQ(CloseFile(fd), noErr);
  EXPECT_EQ(ReadAll(ref.path), "aaaabbbbccdddd");
}

TEST_F(FilesTest, InjectedSizeLimitActsLikeAFullDisk) {
  FileRef ref, other;
  ASSERT_EQ(MakeFileRef(dir_.file("limited"), &ref), noErr);
  ASSERT_EQ(MakeFileRef(dir_.file("other"), &other), noErr);
  ASSERT_EQ(CreateEmptyFile(ref), noErr);
  ASSERT_EQ(CreateEmptyFile(other), noErr);
  InjectWriteFault({.path = ref.path, .sizeLimitBytes = 10});
  int fd = kNoFile, otherFd = kNoFile;
  ASSERT_EQ(OpenFile(ref, OpenMode::kReadWrite, &fd), noErr);
  ASSERT_EQ(OpenFile(other, OpenMode::kReadWrite, &otherFd), noErr);
  EXPECT_EQ(WriteAtMark(fd, "123456", 6), noErr);
  EXPECT_EQ(WriteAtMark(fd, "789abc", 6), dskFulErr);
  EXPECT_EQ(WriteAtOffset(fd, 2, "XY", 2), noErr);                 // inside the limit
  EXPECT_EQ(WriteAtMark(otherFd, "0123456789abcdef", 16), noErr);  // other files unaffected
  EXPECT_EQ(CloseFile(fd), noErr);
  EXPECT_EQ(CloseFile(otherFd), noErr);
  EXPECT_EQ(ReadAll(ref.path), "12XY56789a");
  ClearWriteFaults();
  ASSERT_EQ(OpenFile(ref, OpenMode::kReadWrite, &fd), noErr);
  ASSERT_EQ(MoveMarkToEnd(fd), noErr);
  EXPECT_EQ(WriteAtMark(fd, "bc", 2), noErr);
  EXPECT_EQ(CloseFile(fd), noErr);
}

}  // namespace
