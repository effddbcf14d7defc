// Sends one file to the cloud through the storage client as TSrvNuvexa::Upload sends an
// archive: one request up to the single-request limit, an upload session of the service's
// chunks above it, the stored copy checked against the content hash. The hosts, the token
// and the CA come from the environment, as in the service. A separate process, so that its
// peak memory can be measured alone.
//
//   nuvexa_upload <file> <cloud folder>      (stored as /<cloud folder>/<file name>)

#include <cstdio>
#include <exception>
#include <string>

#include "cloud/backup_upload.h"
#include "cloud/cloud_settings.h"
#include "cloud/dt_dropbox.h"
#include "platform/file_stream.h"

namespace {

void Upload(const std::string& file, const std::string& folder) {
  // the credentials and time-out that ServiceCreate gives the module's client
  const nuvexa::cloud::TDTDropBoxCredentials credentials = nuvexa::cloud::DTDropBoxCredentials();
  nuvexa::cloud::TDTDropBox client;
  client.SetClientID(credentials.ClientID);
  client.SetClientSecret(credentials.ClientSecret);
  client.SetAccessToken(credentials.AccessToken);
  client.SetRefreshToken(credentials.RefreshToken);
  client.SetTimeout(nuvexa::cloud::kDTDropBoxTimeout);

  const auto size = static_cast<std::int64_t>(platform::InputFile::Open(file).Size());
  const std::string target = nuvexa::cloud::CloudArchivePath(folder, file);
  if (size <= nuvexa::cloud::kSingleRequestLimit) {
    client.Upload(file, target);
  } else {
    client.UploadInSession(file, target, nuvexa::cloud::kSessionChunkSize);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: nuvexa_upload <file> <cloud folder>\n");
    return 2;
  }
  try {
    Upload(argv[1], argv[2]);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "nuvexa_upload: %s\n", e.what());
    return 1;
  }
}
