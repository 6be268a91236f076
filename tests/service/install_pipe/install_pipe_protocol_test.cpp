#include <gtest/gtest.h>

#include <string>

#include "install_pipe_protocol.h"

namespace {

using zvu::DecodeInstallAnswer;
using zvu::DecodeInstallRequest;
using zvu::EncodeInstallRequest;
using zvu::InstallRequest;
using zvu::InstallResultCode;
using zvu::RequestFault;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

TEST(InstallPipeProtocol, RequestTravelsWithItsWholeVersionAndNothingElse) {
  const InstallRequest sent{"Zvu Test Quillet", {2, 0xFFFFFFFFu, 0x01020304u, 7}};
  const std::string bytes = EncodeInstallRequest(sent);
  // kind, length, name, four little-endian numbers: nothing of a url or digest.
  ASSERT_EQ(bytes.size(), 2 + sent.product.size() + 16);
  EXPECT_EQ(bytes.substr(0, 2), Bytes({0x01, 16}));
  EXPECT_EQ(bytes.substr(2 + 16 + 8, 4), Bytes({0x04, 0x03, 0x02, 0x01}));

  InstallRequest read;
  ASSERT_EQ(DecodeInstallRequest(bytes, &read), RequestFault::kNone);
  EXPECT_EQ(read.product, sent.product);
  EXPECT_EQ(read.version, sent.version);

  // The longest name goes; names the service would refuse are not sent.
  EXPECT_FALSE(EncodeInstallRequest({std::string(zvu::kMaxInstallProductName, 'q'), {}}).empty());
  EXPECT_TRUE(EncodeInstallRequest({std::string(zvu::kMaxInstallProductName + 1, 'q'), {}}).empty());
  EXPECT_TRUE(EncodeInstallRequest({"", {}}).empty());
  EXPECT_TRUE(EncodeInstallRequest({"tab\there", {}}).empty());
}

TEST(InstallPipeProtocol, EveryMalformedRequestHasItsFault) {
  const std::string good = EncodeInstallRequest({"Quill", {1, 2, 3, 4}});
  std::string wrongKind = good;
  wrongKind[0] = static_cast<char>(0x81);
  std::string zeroLength = good;
  zeroLength[1] = 0;
  std::string overlongName = good;
  overlongName[1] = static_cast<char>(zvu::kMaxInstallProductName + 1);
  std::string longerThanSent = good;
  longerThanSent[1] = 6;
  std::string control = good;
  control[3] = '\n';
  std::string high = good;
  high[3] = static_cast<char>(0xE9);
  std::string nul = good;
  nul[6] = '\0';

  struct Case {
    std::string bytes;
    RequestFault fault;
  };
  const Case cases[] = {
      {"", RequestFault::kEmpty},
      {wrongKind, RequestFault::kUnknownKind},
      {Bytes({0x01}), RequestFault::kBadLength},
      {good.substr(0, good.size() - 1), RequestFault::kBadLength},
      {zeroLength, RequestFault::kBadLength},
      {overlongName, RequestFault::kBadLength},
      {longerThanSent, RequestFault::kBadLength},
      {control, RequestFault::kBadName},
      {high, RequestFault::kBadName},
      {nul, RequestFault::kBadName},
      {good + "x", RequestFault::kTrailingBytes},
  };
  for (const Case& c : cases) {
    InstallRequest read{"untouched", {}};
    EXPECT_EQ(DecodeInstallRequest(c.bytes, &read), c.fault) << testing::PrintToString(c.bytes);
    EXPECT_EQ(read.product, "untouched");
  }
}

TEST(InstallPipeProtocol, AnswersAreReadOnlyWhenWholeAndKnown) {
  auto progress = DecodeInstallAnswer(zvu::EncodeReceivedAnswer(0x1122334455ull, 0x100000000ull));
  ASSERT_TRUE(progress);
  EXPECT_EQ(progress->kind, zvu::kReceivedAnswerKind);
  EXPECT_EQ(progress->bytes, 0x1122334455ull);
  EXPECT_EQ(progress->total, 0x100000000ull);

  auto installing = DecodeInstallAnswer(zvu::EncodeInstallingAnswer());
  ASSERT_TRUE(installing);
  EXPECT_EQ(installing->kind, zvu::kInstallingAnswerKind);

  for (int code = 0; code <= zvu::kLastInstallResultCode; ++code) {
    auto result = DecodeInstallAnswer(zvu::EncodeResultAnswer(static_cast<InstallResultCode>(code)));
    ASSERT_TRUE(result) << code;
    EXPECT_EQ(static_cast<int>(result->result), code);
  }
  // The codes travel on the wire.
  EXPECT_EQ(zvu::EncodeResultAnswer(InstallResultCode::kBusy), Bytes({0x83, 8}));

  EXPECT_FALSE(DecodeInstallAnswer(""));
  EXPECT_FALSE(DecodeInstallAnswer(Bytes({0x83, zvu::kLastInstallResultCode + 1})));
  EXPECT_FALSE(DecodeInstallAnswer(Bytes({0x83})));
  EXPECT_FALSE(DecodeInstallAnswer(zvu::EncodeInstallingAnswer() + "x"));
  EXPECT_FALSE(DecodeInstallAnswer(zvu::EncodeReceivedAnswer(1, 2).substr(0, 16)));
  EXPECT_FALSE(DecodeInstallAnswer(Bytes({0x01, 0})));
}

}  // namespace
