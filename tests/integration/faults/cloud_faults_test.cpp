// Whole cycles in process while the cloud misbehaves: each fault ends in a log line, records
// no backup, removes no archive, and the next cycle, with the fault gone, uploads and records.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/file.h"
#include "support/cloud_cycle.h"
#include "support/test_files.h"

namespace nuvexa {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using ::testing::HasSubstr;

struct CloudFault {
  const char* name;
  std::function<void(test::CloudCycleTest&)> fault;
  std::function<void(test::CloudCycleTest&)> mend;  // nothing to do when the fault fires once
  std::string logged;                               // a part of the cycle's log line
};

void Nothing(test::CloudCycleTest&) {}

class CloudFaults : public test::CloudCycleTest, public ::testing::WithParamInterface<CloudFault> {};
using CloudSession = test::CloudCycleTest;

std::function<void(test::CloudCycleTest&)> Rule(json rule) {
  return [rule](test::CloudCycleTest& t) { t.Arm(rule); };
}

const CloudFault kCloudFaults[] = {
    {"Unauthorised", Rule({{"endpoint", "/2/files/upload"}, {"status", 401}}), Nothing, "HTTP/1.1 401 Unauthorized"},
    {"Conflict",
     Rule({{"endpoint", "/2/files/upload"},
           {"status", 409},
           {"body", R"({"error_summary": "path/conflict/file/..", "error": {".tag": "path"}})"}}),
     Nothing, "HTTP/1.1 409 Conflict"},
    {"TooManyRequestsWithRetryAfter",
     Rule({{"endpoint", "/2/files/list_folder"}, {"status", 429}, {"headers", {{"Retry-After", "1"}}}}), Nothing,
     "HTTP/1.1 429 Too Many Requests"},
    {"ServerErrorOnTheTrimsListing", Rule({{"endpoint", "/2/files/list_folder"}, {"nth", 2}, {"status", 500}}),
     Nothing, "HTTP/1.1 500 Internal Server Error"},
    {"Unavailable", Rule({{"endpoint", "/2/files/upload"}, {"status", 503}}), Nothing,
     "HTTP/1.1 503 Service Unavailable"},
    {"DroppedInTheMiddleOfTheUpload", Rule({{"endpoint", "/2/files/upload"}, {"drop_after_bytes", 1000}}), Nothing,
     ""},
    {"StalledWithoutAByte",
     [](test::CloudCycleTest& t) {
       // the client measures the rate over a few seconds, its request's own bytes included:
       // a stall well past the time-out is what it takes for one second of patience
       t.Arm({{"endpoint", "/2/files/list_folder"}, {"stall_seconds", 8}});
       t.module_->DTDropBox1.SetTimeout(1);
     },
     Nothing, "Operation too slow"},
    {"CertificateOfAnUnknownCa",
     [](test::CloudCycleTest& t) {
       t.StartCloud(t.certificates_.UnknownCaServerArguments());
     },
     [](test::CloudCycleTest& t) { t.StartCloud(); }, "certificate"},
    {"CertificateForAnotherHost",
     [](test::CloudCycleTest& t) {
       t.StartCloud(t.certificates_.OtherHostServerArguments());
     },
     [](test::CloudCycleTest& t) { t.StartCloud(); }, "127.0.0.1"},
    {"NotListening", [](test::CloudCycleTest& t) { t.StopCloud(); },
     [](test::CloudCycleTest& t) { t.StartCloud(); }, "onnect"},
};

TEST_P(CloudFaults, IsOneLineRecordsNothingKeepsEveryArchiveAndTheNextCycleRecovers) {
  const CloudFault& c = GetParam();
  KeepEarlierArchives();
  c.fault(*this);

  module_->RunCycleNow();
  const std::vector<std::string> messages = installation_.LogMessages();
  ASSERT_EQ(module_->LogEntriesWritten(), 1) << ::testing::PrintToString(messages);
  EXPECT_THAT(messages.front(), HasSubstr(c.logged));
  if (c.logged.empty()) {
    EXPECT_THAT(messages.front(), ::testing::Not(::testing::StartsWith("HTTP/1.1 2")));
  }
  EXPECT_EQ(LastBackup(), "<null>");
  EXPECT_TRUE(platform::FileExists(LocalArchive())) << "the archive stays for a later upload";
  ExpectEarlierArchivesKept();

  c.mend(*this);
  module_->DTDropBox1.SetTimeout(600);
  module_->RunCycleNow();
  EXPECT_EQ(installation_.LogMessages(), messages) << "nothing more is logged";
  EXPECT_EQ(LastBackup(), ThisCycle());
  const fs::path uploaded = CloudFolder() / fs::path(LocalArchive()).filename();
  EXPECT_TRUE(test::ReadFileBytes(uploaded.string()) == test::ReadFileBytes(LocalArchive()))
      << "the cloud holds this cycle's archive byte for byte";
  ExpectEarlierArchivesKept();
}

INSTANTIATE_TEST_SUITE_P(Cloud, CloudFaults, ::testing::ValuesIn(kCloudFaults),
                         [](const ::testing::TestParamInfo<CloudFault>& info) { return info.param.name; });

// A session upload whose connection goes in the middle of an append: the upload fails, and
// the next one sends the whole archive again.
TEST_F(CloudSession, ADropInTheMiddleOfASessionAppendFailsTheUploadAndTheNextOneCompletes) {
  module_->CarregarParametrosConexao("SYSDBA", test::kSysdbaPassword);
  const std::string archive = installation_.Folder() + "NuvexaDrovana_10122026_1030.zip";
  std::ofstream(archive).close();
  fs::resize_file(archive, 149'000'001);  // one byte over a single request's limit
  Arm({{"endpoint", "/2/files/upload_session/append_v2"}, {"drop_after_bytes", 1 << 20}});

  EXPECT_FALSE(module_->Upload(kCompanyFolder, archive));
  EXPECT_EQ(module_->LogEntriesWritten(), 1);
  EXPECT_EQ(LastBackup(), "<null>");
  EXPECT_FALSE(fs::exists(CloudFolder() / "NuvexaDrovana_10122026_1030.zip"));

  EXPECT_TRUE(module_->Upload(kCompanyFolder, archive));
  EXPECT_EQ(module_->LogEntriesWritten(), 1);
  EXPECT_EQ(fs::file_size(CloudFolder() / "NuvexaDrovana_10122026_1030.zip"), 149'000'001u);
  EXPECT_NE(LastBackup(), "<null>");
}

}  // namespace
}  // namespace nuvexa
