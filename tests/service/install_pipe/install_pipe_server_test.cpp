#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "install_pipe_protocol.h"
#include "install_pipe_server.h"
#include "log_capture.h"
#include "product_keys.h"
#include "registration_pipe_security.h"
#include "service_install_client.h"
#include "unique_handle.h"
#include "wait_until.h"

namespace {

using zvu::InstallPipeServer;
using zvu::InstallResultCode;
using zvu::ProductVersion;
using zvu::ServiceInstallOutcome;
using zvu::ServiceInstallProgress;
using zvu::ServiceInstallStatus;
using zvu::UniqueFileHandle;
using zvu::UniqueHandle;
using zvu::UpdateEntry;
using zvu::test::LogCapture;
using zvu::test::ScopedProductKey;
using zvu::test::WaitUntil;

constexpr char kProduct[] = "Zvu Test InstallPipe Quill";
constexpr char kDigest[] = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";
constexpr char kServiceUrl[] = "https://updates.zelko.example/files/quill-3.1.6.msi";
// Installed 3.1.5: 3.1.6 applies, 3.0.9 does not.
const ProductVersion kVerified{3, 1, 6, 0};
const ProductVersion kUndigested{3, 1, 7, 0};
const ProductVersion kOlder{3, 0, 9, 0};
const ProductVersion kUnlisted{3, 1, 8, 0};

std::string Element(const std::string& name, const std::string& text) {
  return "<" + name + ">" + text + "</" + name + ">";
}

std::string UpdateXml(const ProductVersion& v, const std::string& extra) {
  return "<update>" + Element("product", kProduct) + Element("major", std::to_string(v.major)) +
         Element("minor", std::to_string(v.minor)) + Element("build", std::to_string(v.build)) +
         Element("subbuild", std::to_string(v.subbuild)) + extra + "</update>";
}

// The service's catalogue: a verified update, one without a digest, one
// older than what is installed.
std::string ServiceCatalogue() {
  return "<?xml version=\"1.0\"?>\r\n<catalogue><products/><updates>" +
         UpdateXml(kVerified, Element("url", kServiceUrl) + Element("sha256", kDigest) +
                                  Element("options", "/qn")) +
         UpdateXml(kUndigested, Element("url", kServiceUrl)) +
         UpdateXml(kOlder, Element("url", kServiceUrl) + Element("sha256", kDigest)) +
         "</updates></catalogue>\r\n";
}

class StubSource final : public zvu::InstallCatalogueSource {
 public:
  StubSource(std::string held, std::optional<std::string> fetched)
      : held_(std::move(held)), fetched_(std::move(fetched)) {}
  std::string Held() override { return held_; }
  bool Fetch(std::string& text, HANDLE) override {
    ++fetches;
    if (!fetched_) return false;
    text = *fetched_;
    return true;
  }
  std::atomic<int> fetches{0};

 private:
  const std::string held_;
  const std::optional<std::string> fetched_;
};

// Stands in for the service's installation: records what it was given,
// reports progress, and waits for `release` (when given) or for the
// requester to go.
struct StubInstall {
  ServiceInstallOutcome outcome = ServiceInstallOutcome::kInstalled;
  UniqueHandle release;
  std::mutex lock;
  std::vector<UpdateEntry> entries;  // guarded by lock
  std::atomic<bool> entered{false};
  std::atomic<bool> sawAbandoned{false};

  ServiceInstallOutcome Run(const UpdateEntry& entry, ServiceInstallProgress& progress) {
    {
      std::lock_guard<std::mutex> guard(lock);
      entries.push_back(entry);
    }
    progress.Received(0, 1000);
    progress.Received(500, 1000);
    progress.Received(1000, 1000);
    entered = true;
    if (release) {
      const ULONGLONG deadline = GetTickCount64() + 20000;
      while (WaitForSingleObject(release.get(), 50) == WAIT_TIMEOUT && GetTickCount64() < deadline) {
        if (progress.Abandoned()) {
          sawAbandoned = true;
          return ServiceInstallOutcome::kAbandoned;
        }
      }
    }
    progress.Installing();
    return outcome;
  }
  size_t Calls() {
    std::lock_guard<std::mutex> guard(lock);
    return entries.size();
  }
};

struct Recorder final : zvu::ServiceInstallCallbacks {
  std::vector<std::string> events;
  int waits = 0;
  int giveUpAfterReceived = -1;  // OnWait says no once this many progress reports came
  int received = 0;
  void OnReceived(uint64_t bytes, uint64_t total) override {
    ++received;
    events.push_back(std::to_string(bytes) + "/" + std::to_string(total));
  }
  void OnInstalling() override { events.push_back("installing"); }
  bool OnWait() override {
    ++waits;
    return giveUpAfterReceived < 0 || received < giveUpAfterReceived;
  }
};

std::string UniquePipeName() {
  static std::atomic<int> counter{0};
  return "\\\\.\\pipe\\ZvuTestInstallPipe." + std::to_string(GetCurrentProcessId()) + "." +
         std::to_string(++counter);
}

// A client end that speaks raw bytes, for what the real client never sends.
UniqueFileHandle OpenRaw(const std::string& name) {
  UniqueFileHandle pipe(CreateFileA(name.c_str(), GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES,
                                    0, nullptr, OPEN_EXISTING, 0, nullptr));
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (pipe) SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr);
  return pipe;
}

bool Broken(HANDLE pipe) { return !PeekNamedPipe(pipe, nullptr, 0, nullptr, nullptr, nullptr); }

// The next answer on a raw client end, once one is there (none when the
// pipe breaks first or nothing comes in time).
std::optional<zvu::InstallAnswer> NextAnswer(HANDLE pipe) {
  DWORD available = 0;
  const bool arrived = WaitUntil([&] {
    return !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) || available > 0;
  }, 15000);
  if (!arrived || available == 0) return std::nullopt;
  char buffer[64];
  DWORD got = 0;
  if (!ReadFile(pipe, buffer, sizeof(buffer), &got, nullptr)) return std::nullopt;
  return zvu::DecodeInstallAnswer(std::string_view(buffer, got));
}

class InstallPipe : public testing::Test {
 protected:
  InstallPipe() : installed_(kProduct, {3, 1, 5, 0}) {}

  // Serves the pipe with the stub installation and this catalogue source.
  void Serve(std::shared_ptr<StubSource> source) {
    source_ = source;
    server_ = std::make_unique<InstallPipeServer>(
        pipeName_, [stub = stub_](const UpdateEntry& e, ServiceInstallProgress& p) { return stub->Run(e, p); },
        std::move(source));
    ASSERT_EQ(server_->Start(), 0);
  }
  void ServeCatalogue() { Serve(std::make_shared<StubSource>(ServiceCatalogue(), std::nullopt)); }

  ServiceInstallStatus Request(const ProductVersion& version, Recorder& recorder,
                               const std::string& product = kProduct) {
    return zvu::RequestServiceInstall(pipeName_.c_str(), GetCurrentProcessId(), product, version,
                                      recorder);
  }

  LogCapture log_{"install_pipe"};
  ScopedProductKey installed_;
  const std::string pipeName_ = UniquePipeName();
  std::shared_ptr<StubInstall> stub_ = std::make_shared<StubInstall>();
  std::shared_ptr<StubSource> source_;
  std::unique_ptr<InstallPipeServer> server_;
};

TEST_F(InstallPipe, VerifiedUpdateIsInstalledFromTheServicesOwnEntryWithProgress) {
  ServeCatalogue();
  Recorder recorder;
  EXPECT_EQ(Request(kVerified, recorder), ServiceInstallStatus::kInstalled);

  ASSERT_EQ(stub_->Calls(), 1u);
  const UpdateEntry& entry = stub_->entries[0];
  EXPECT_EQ(entry.url, kServiceUrl);
  EXPECT_EQ(entry.sha256, kDigest);
  EXPECT_EQ(entry.options, "/qn");
  EXPECT_EQ(entry.version, kVerified);
  // The first and the whole count always go; the one between may be held back.
  ASSERT_GE(recorder.events.size(), 3u);
  EXPECT_EQ(recorder.events.front(), "0/1000");
  EXPECT_EQ(recorder.events[recorder.events.size() - 2], "1000/1000");
  EXPECT_EQ(recorder.events.back(), "installing");
  // The held catalogue listed it: no fetch.
  EXPECT_EQ(source_->fetches, 0);

  const std::string text = log_.Text();
  EXPECT_NE(text.find("Install requested PID: " + std::to_string(GetCurrentProcessId()) + " user: "),
            std::string::npos) << text;
  EXPECT_NE(text.find(std::string("product: ") + kProduct + " version: 3.1.6.0"), std::string::npos);
  EXPECT_NE(text.find(std::string("from ") + kServiceUrl), std::string::npos);
  EXPECT_NE(text.find(" ended: installed \r\n"), std::string::npos);
}

TEST_F(InstallPipe, FreshCatalogueIsFetchedWhenTheHeldOneDoesNotListTheUpdate) {
  Serve(std::make_shared<StubSource>("", ServiceCatalogue()));
  Recorder recorder;
  EXPECT_EQ(Request(kVerified, recorder), ServiceInstallStatus::kInstalled);
  EXPECT_EQ(source_->fetches, 1);
  ASSERT_EQ(stub_->Calls(), 1u);
  EXPECT_EQ(stub_->entries[0].url, kServiceUrl);
}

TEST_F(InstallPipe, UnlistedUndigestedAndInapplicableUpdatesAreRefusedWithoutAnInstallation) {
  Serve(std::make_shared<StubSource>(ServiceCatalogue(), ServiceCatalogue()));
  struct Case {
    std::string product;
    ProductVersion version;
    ServiceInstallStatus status;
    std::string record;
  };
  const Case cases[] = {
      {kProduct, kUnlisted, ServiceInstallStatus::kNotListed, "3.1.8.0 for user: "},
      {"Zvu Test InstallPipe Unknown", kVerified, ServiceInstallStatus::kNotListed,
       "Unknown 3.1.6.0 for user: "},
      {kProduct, kUndigested, ServiceInstallStatus::kNoDigest, "3.1.7.0 for user: "},
      {kProduct, kOlder, ServiceInstallStatus::kNotApplicable, "3.0.9.0 for user: "},
  };
  const char* reasons[] = {"refused: not in the service's catalogue \r\n",
                           "refused: not in the service's catalogue \r\n",
                           "refused: listed without a sha256 \r\n",
                           "refused: does not apply to the installed version \r\n"};
  for (size_t i = 0; i < std::size(cases); ++i) {
    Recorder recorder;
    EXPECT_EQ(Request(cases[i].version, recorder, cases[i].product), cases[i].status) << i;
    EXPECT_TRUE(recorder.events.empty()) << i;
    const std::string text = log_.Text();
    const size_t at = text.find(cases[i].record);
    ASSERT_NE(at, std::string::npos) << i << text;
    EXPECT_EQ(text.compare(text.find("refused: ", at), strlen(reasons[i]), reasons[i]), 0) << i;
  }
  EXPECT_EQ(stub_->Calls(), 0u);
  // Only the unlisted ones sent the service to the update server again.
  EXPECT_EQ(source_->fetches, 2);
}

TEST_F(InstallPipe, EachOutcomeOfTheInstallationReachesTheClient) {
  ServeCatalogue();
  const std::pair<ServiceInstallOutcome, ServiceInstallStatus> outcomes[] = {
      {ServiceInstallOutcome::kInstallFailed, ServiceInstallStatus::kInstallFailed},
      {ServiceInstallOutcome::kDownloadFailed, ServiceInstallStatus::kDownloadFailed},
      {ServiceInstallOutcome::kDigestMismatch, ServiceInstallStatus::kDigestMismatch},
      {ServiceInstallOutcome::kFolderUnsafe, ServiceInstallStatus::kServiceError},
  };
  for (const auto& [outcome, status] : outcomes) {
    stub_->outcome = outcome;
    Recorder recorder;
    EXPECT_EQ(Request(kVerified, recorder), status);
  }
  const std::string text = log_.Text();
  for (const char* name : {"install failed", "download failed", "digest mismatch",
                           "download folder unsafe"}) {
    EXPECT_NE(text.find(std::string(" ended: ") + name + " \r\n"), std::string::npos) << name;
  }
}

TEST_F(InstallPipe, MalformedRequestsAreAnsweredLoggedAndClosedAndTheServiceGoesOn) {
  ServeCatalogue();
  const std::string good = zvu::EncodeInstallRequest({kProduct, kVerified});
  std::string unknownKind = good;
  unknownKind[0] = 0x7F;
  std::string badName = good;
  badName[4] = '\x01';
  struct Case {
    std::string bytes;
    std::string fault;
  };
  const Case cases[] = {
      {unknownKind, "(unknown kind, "},
      {good.substr(0, 10), "(bad length, 10 bytes)"},
      {std::string(400, '\x01'), "(bad length, "},
      {badName, "(product name not printable, "},
      {good + "tail", "(trailing bytes, "},
  };
  for (const Case& c : cases) {
    UniqueFileHandle raw = OpenRaw(pipeName_);
    ASSERT_TRUE(raw) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(raw.get(), c.bytes.data(), static_cast<DWORD>(c.bytes.size()), &written,
                          nullptr));
    const std::optional<zvu::InstallAnswer> answer = NextAnswer(raw.get());
    ASSERT_TRUE(answer) << c.fault << GetLastError() << log_.Text();
    EXPECT_EQ(answer->kind, zvu::kResultAnswerKind);
    EXPECT_EQ(answer->result, InstallResultCode::kBadRequest) << c.fault;
    EXPECT_TRUE(WaitUntil([&] { return Broken(raw.get()); }, 15000)) << c.fault;
    EXPECT_NE(log_.Text().find("refused: malformed " + c.fault), std::string::npos)
        << c.fault << log_.Text();
  }
  EXPECT_EQ(stub_->Calls(), 0u);
  Recorder recorder;
  EXPECT_EQ(Request(kVerified, recorder), ServiceInstallStatus::kInstalled);
}

TEST_F(InstallPipe, SilentClientIsDroppedAfterItsTimeAndHoldsUpNobody) {
  ServeCatalogue();
  UniqueFileHandle silent = OpenRaw(pipeName_);
  ASSERT_TRUE(silent) << GetLastError();
  Recorder recorder;
  EXPECT_EQ(Request(kVerified, recorder), ServiceInstallStatus::kInstalled);
  EXPECT_TRUE(WaitUntil([&] { return Broken(silent.get()); }, zvu::kInstallRequestTimeoutMs + 10000));
  EXPECT_NE(log_.Text().find("Install request not received PID: " +
                             std::to_string(GetCurrentProcessId())),
            std::string::npos);
}

TEST_F(InstallPipe, SecondRequestDuringAnInstallationIsBusyAndTheFirstGoesOn) {
  stub_->release.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ServeCatalogue();
  ServiceInstallStatus first = ServiceInstallStatus::kConnectionLost;
  std::thread firstClient([&] {
    Recorder recorder;
    first = Request(kVerified, recorder);
  });
  const bool entered = WaitUntil([&] { return stub_->entered.load(); }, 15000);
  Recorder second;
  const ServiceInstallStatus secondStatus =
      entered ? Request(kVerified, second) : ServiceInstallStatus::kConnectionLost;
  SetEvent(stub_->release.get());
  firstClient.join();
  ASSERT_TRUE(entered);
  EXPECT_EQ(secondStatus, ServiceInstallStatus::kBusy);
  EXPECT_EQ(first, ServiceInstallStatus::kInstalled);
  EXPECT_EQ(stub_->Calls(), 1u);
  EXPECT_NE(log_.Text().find("refused: another installation runs \r\n"), std::string::npos);
}

TEST_F(InstallPipe, ClientThatGivesUpAbandonsTheInstallation) {
  stub_->release.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  ServeCatalogue();
  Recorder recorder;
  recorder.giveUpAfterReceived = 1;
  EXPECT_EQ(Request(kVerified, recorder), ServiceInstallStatus::kGivenUp);
  EXPECT_TRUE(WaitUntil([&] { return stub_->sawAbandoned.load(); }, 15000));
  EXPECT_TRUE(WaitUntil([&] { return log_.Text().find(" ended: requester gone \r\n") !=
                                     std::string::npos; }, 15000));
}

TEST_F(InstallPipe, StopEndsTheServerWhileAClientSaysNothing) {
  ServeCatalogue();
  UniqueFileHandle silent = OpenRaw(pipeName_);
  ASSERT_TRUE(silent);
  EXPECT_TRUE(server_->Stop(10000));
  EXPECT_TRUE(Broken(silent.get()));
  // The name is free again: nothing answers it.
  EXPECT_FALSE(OpenRaw(pipeName_));
}

TEST_F(InstallPipe, AccessListLetsInteractiveUsersReadAndWriteAndNetworkLogonsNothing) {
  ServeCatalogue();
  UniqueFileHandle client(CreateFileA(pipeName_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      0, nullptr));
  ASSERT_TRUE(client) << GetLastError();
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetSecurityInfo(client.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  zvu::UniqueLocalMemory owned(descriptor);
  ASSERT_NE(dacl, nullptr);
  struct Expected {
    BYTE type;
    WELL_KNOWN_SID_TYPE sid;
    DWORD mask;
  };
  // The denial comes first, so that no grant can outweigh it.
  const Expected expected[] = {{ACCESS_DENIED_ACE_TYPE, WinNetworkSid, FILE_ALL_ACCESS},
                               {ACCESS_ALLOWED_ACE_TYPE, WinLocalSystemSid, FILE_ALL_ACCESS},
                               {ACCESS_ALLOWED_ACE_TYPE, WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                               {ACCESS_ALLOWED_ACE_TYPE, WinInteractiveSid,
                                zvu::kInteractiveUsersPipeAccess}};
  ACL_SIZE_INFORMATION size{};
  ASSERT_TRUE(GetAclInformation(dacl, &size, sizeof(size), AclSizeInformation));
  ASSERT_EQ(size.AceCount, std::size(expected));
  for (DWORD i = 0; i < size.AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &ace));
    auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);  // same layout for a denial
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof(sid);
    ASSERT_TRUE(CreateWellKnownSid(expected[i].sid, nullptr, sid, &sidSize));
    EXPECT_EQ(entry->Header.AceType, expected[i].type) << i;
    EXPECT_TRUE(EqualSid(&entry->SidStart, sid)) << i;
    EXPECT_EQ(entry->Mask, expected[i].mask) << i;
  }
  DWORD flags = 0;
  ASSERT_TRUE(GetNamedPipeInfo(client.get(), &flags, nullptr, nullptr, nullptr));
  EXPECT_EQ(flags & PIPE_TYPE_MESSAGE, static_cast<DWORD>(PIPE_TYPE_MESSAGE));
}

TEST_F(InstallPipe, NameTakenFirstByAnotherServerIsRefusedAndNeverGetsTheRequest) {
  // Another server holds the name before the service starts.
  // (Wine ignores FILE_FLAG_FIRST_PIPE_INSTANCE: its room for one instance
  // only is what makes the service's creation fail here.)
  UniqueFileHandle squatter(CreateNamedPipeA(pipeName_.c_str(), PIPE_ACCESS_DUPLEX,
                                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 512,
                                             512, 0, nullptr));
  ASSERT_TRUE(squatter);
  ServeCatalogue();
  EXPECT_TRUE(WaitUntil([&] { return log_.Text().find("Install pipe not created Err:") !=
                                     std::string::npos; }, 15000));

  // The client checks who serves the pipe before it says anything.
  Recorder recorder;
  const DWORD serviceId = GetCurrentProcessId() + 4;  // any process but the squatter's
  EXPECT_EQ(zvu::RequestServiceInstall(pipeName_.c_str(), serviceId, kProduct, kVerified, recorder),
            ServiceInstallStatus::kNotTheService);
  // The client has closed its end: a read returns at once, with nothing.
  char bytes[64];
  DWORD got = 0;
  ReadFile(squatter.get(), bytes, sizeof(bytes), &got, nullptr);
  EXPECT_EQ(got, 0u);

  // Once the name is free the service takes it.
  squatter.reset();
  EXPECT_TRUE(WaitUntil([&] { return log_.Text().find("Install pipe created again") !=
                                     std::string::npos; }, 30000));
  EXPECT_EQ(Request(kVerified, recorder), ServiceInstallStatus::kInstalled);
}

TEST(InstallPipeClient, AnswersOutsideTheProtocolEndTheRequest) {
  // A server of this process that answers with the given bytes.
  const std::string unknownKind = zvu::EncodeReceivedAnswer(1, 2).replace(0, 1, 1, '\x7F');
  const std::string unknownResult = std::string(1, static_cast<char>(zvu::kResultAnswerKind)) + '\x63';
  for (const std::string& reply : {unknownKind, unknownResult}) {
    const std::string name = UniquePipeName();
    UniqueFileHandle server(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE, 1, 512, 512,
                                             0, nullptr));
    ASSERT_TRUE(server);
    std::thread answer([&] {
      char request[256];
      DWORD got = 0;
      ConnectNamedPipe(server.get(), nullptr);
      ReadFile(server.get(), request, sizeof(request), &got, nullptr);
      WriteFile(server.get(), reply.data(), static_cast<DWORD>(reply.size()), &got, nullptr);
    });
    struct : zvu::ServiceInstallCallbacks {} callbacks;
    const ServiceInstallStatus status = zvu::RequestServiceInstall(
        name.c_str(), GetCurrentProcessId(), kProduct, kVerified, callbacks);
    answer.join();
    EXPECT_EQ(status, ServiceInstallStatus::kBadAnswer);
  }
}

TEST(InstallPipeClient, WithoutTheServicesPipeThereIsNoService) {
  struct : zvu::ServiceInstallCallbacks {} callbacks;
  EXPECT_EQ(zvu::RequestServiceInstall(UniquePipeName().c_str(), GetCurrentProcessId(), kProduct,
                                       kVerified, callbacks),
            ServiceInstallStatus::kNoService);
  // A name the protocol cannot carry is not sent at all.
  EXPECT_EQ(zvu::RequestServiceInstall(UniquePipeName().c_str(), GetCurrentProcessId(),
                                       "bad\nname", kVerified, callbacks),
            ServiceInstallStatus::kNoService);
}

}  // namespace
