// Installer downloads as the download page starts them.

#include <gtest/gtest.h>

#include <algorithm>

#include "http_test_support.h"
#include "installer_download.h"
#include "test_env.h"

namespace {

using zvu::HttpState;
using zvu::XHttpClient;
using zvu::test::WaitForState;

const std::vector<HttpState> kFinal = {HttpState::Complete, HttpState::Failed};
const std::string kHost = ZVU_TEST_UPDATE_HOST;

bool Requested(const std::string& line) {
  const auto lines = zvu::test::ServedRequests();
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string FreshFolder(const std::string& name) {
  const std::string folder = zvu::test::TempFilePath(name);
  RemoveDirectoryA(folder.c_str());
  return folder;
}

TEST(InstallerDownload, HttpsUrlOnPort8443IsFetchedOverHttpFromPort80) {
  const std::string served = zvu::test::WriteServedFile("Setup-8443.msi", 20'000);
  const std::string folder = FreshFolder("zvu_http_updates_a");
  XHttpClient client;
  std::string localFile;
  ASSERT_EQ(zvu::StartInstallerDownload(client, nullptr,
                                        "https://" + kHost + ":8443/files/Setup-8443.msi", folder,
                                        &localFile),
            0u);
  EXPECT_EQ(localFile, folder + "\\Setup-8443.msi");
  EXPECT_EQ(client.Port(), 80);
  ASSERT_TRUE(WaitForState(client, kFinal));
  EXPECT_EQ(client.GetHttpState(), HttpState::Complete);
  EXPECT_TRUE(zvu::test::ReadWholeFile(localFile) == served);
  EXPECT_TRUE(Requested("80 /files/Setup-8443.msi"));

  // The query goes to the server with the path.
  const auto address = zvu::SplitDownloadUrl("https://" + kHost + ":8443/files/Setup-8443.msi?v=3");
  ASSERT_EQ(client.Connect(address.host, false, true), 0u);
  client.SetObject(address.object);
  ASSERT_EQ(client.Get(), 0u);
  ASSERT_TRUE(WaitForState(client, kFinal));
  EXPECT_EQ(client.ResponseText(), served);
  EXPECT_TRUE(Requested("80 /files/Setup-8443.msi?v=3"));

  DeleteFileA(localFile.c_str());
  RemoveDirectoryA(folder.c_str());
}

TEST(InstallerDownload, UnusableFileNameOrUrlFailsWithoutWritingAnything) {
  const std::string folder = FreshFolder("zvu_http_updates_b");
  XHttpClient client;
  std::string localFile = "unchanged";
  EXPECT_EQ(zvu::StartInstallerDownload(client, nullptr,
                                        "http://" + kHost + "/files/setup.msi?v=2", folder,
                                        &localFile),
            static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(zvu::StartInstallerDownload(client, nullptr, "http://" + kHost + "/files/", folder,
                                        &localFile),
            static_cast<DWORD>(ERROR_INVALID_NAME));
  EXPECT_EQ(zvu::StartInstallerDownload(client, nullptr, "setup.msi", folder, &localFile),
            static_cast<DWORD>(ERROR_WINHTTP_INVALID_URL));
  EXPECT_EQ(localFile, "unchanged");
  EXPECT_EQ(client.Get(), zvu::kHttpCannotStart);

  // Nothing was written into the folder (it may have been created).
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
  int entries = 0;
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (found.cFileName[0] != '.') ++entries;
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  EXPECT_EQ(entries, 0);
  RemoveDirectoryA(folder.c_str());
}

TEST(InstallerDownload, FolderIsCreatedOneLevelOnly) {
  const std::string folder = FreshFolder("zvu_http_updates_c");
  EXPECT_TRUE(zvu::EnsureDownloadFolder(folder));
  EXPECT_TRUE(zvu::EnsureDownloadFolder(folder));
  EXPECT_FALSE(zvu::EnsureDownloadFolder(folder + "\\missing\\deeper"));
  RemoveDirectoryA(folder.c_str());

  XHttpClient client;
  EXPECT_EQ(zvu::StartInstallerDownload(client, nullptr, "http://" + kHost + "/files/x.msi",
                                        folder + "\\missing\\deeper", nullptr),
            static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
