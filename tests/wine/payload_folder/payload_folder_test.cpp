// The table built from a second payload folder carries that folder's files, in table order.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "payload/payload_table.h"
#include "win/handles.h"

namespace {

// The folder as Wine sees the build machine's file system (drive Z: is "/").
std::string folder_path(const std::string& relative) {
  std::string path = std::string("Z:") + SECOND_PAYLOAD_DIR + "/" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

struct file_info {
  std::string bytes;
  int64_t mtime = -1;
};

file_info read_file(const std::string& path) {
  file_info info;
  velmor::unique_file f(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!f) return info;
  info.bytes.resize(::GetFileSize(f.get(), nullptr));
  DWORD got = 0;
  if (!info.bytes.empty()) ::ReadFile(f.get(), &info.bytes[0], static_cast<DWORD>(info.bytes.size()), &got, nullptr);
  FILETIME written;
  ::GetFileTime(f.get(), nullptr, nullptr, &written);
  uint64_t t = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  info.mtime = static_cast<int64_t>(t / 10000000ULL) - 11644473600LL;
  return info;
}

std::string bytes_of(const payload_entry& e) { return std::string(reinterpret_cast<const char*>(e.data), e.size); }

}  // namespace

TEST(SecondPayloadFolder, DriverFilesAreEmbeddedWithTheirOwnTimes) {
  for (int i = 0; i < 18; ++i) {
    const payload_entry& e = payload_table[i];
    std::string subdir = e.subdir;
    for (char& c : subdir)
      if (c == '\\') c = '/';
    file_info source = read_file(folder_path(subdir + "/" + e.file_name));
    ASSERT_GE(source.mtime, 0) << e.file_name;
    EXPECT_TRUE(bytes_of(e) == source.bytes) << i + 1 << " " << e.file_name;
    EXPECT_EQ(e.size, source.bytes.size());
    EXPECT_EQ(e.timestamp, source.mtime) << i + 1 << " " << e.file_name;
  }
  EXPECT_STREQ(payload_table[12].subdir, "license\\libusb0");
}

TEST(SecondPayloadFolder, InstallersAndTemplatesComeFromTheirFilesWithTableTimes) {
  for (int i = 18; i < 20; ++i)
    EXPECT_TRUE(bytes_of(payload_table[i]) == read_file(folder_path(std::string("built/") + payload_table[i].file_name)).bytes);
  EXPECT_EQ(payload_table[18].timestamp, 1608518008);  // 2020-12-21 02:33:28 UTC
  EXPECT_EQ(payload_table[19].timestamp, 1608518008);
  for (int i = 20; i < PAYLOAD_ENTRY_COUNT; ++i) {
    EXPECT_STREQ(payload_table[i].subdir, "");
    EXPECT_TRUE(bytes_of(payload_table[i]) ==
                read_file(folder_path(std::string("templates/") + payload_table[i].file_name)).bytes);
  }
  EXPECT_EQ(payload_table[20].timestamp, 1524727651);  // 2018-04-26 07:27:31 UTC
  EXPECT_EQ(payload_table[27].timestamp, 1524727650);
}

TEST(SecondPayloadFolder, IdenticalBytesShareOneBlockWhateverTheirPlace) {
  EXPECT_EQ(payload_table[0].data, payload_table[2].data);
  EXPECT_EQ(payload_table[5].data, payload_table[6].data);
  EXPECT_NE(payload_table[5].data, payload_table[7].data);  // same place as in the product, other bytes
  EXPECT_NE(payload_table[14].data, payload_table[15].data);
  EXPECT_EQ(std::memcmp(payload_table[0].data, "second payload, content 1\n", payload_table[0].size), 0);
}
