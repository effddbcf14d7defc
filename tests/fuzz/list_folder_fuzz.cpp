// A listing page as the storage service answers it, through the client's own paging: the
// input is the first page, and the next request, if any, gets a last empty page.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "cloud/cloud_error.h"
#include "cloud/dt_dropbox.h"
#include "cloud/http_transport.h"

namespace {

using namespace nuvexa::cloud;

class PageTransport : public HttpTransport {
 public:
  explicit PageTransport(std::string first_page) : first_page_(std::move(first_page)) {}
  HttpResponse Send(const HttpRequest&) override {
    if (++calls_ == 1) return {200, "HTTP/1.1 200 OK", first_page_};
    return {200, "HTTP/1.1 200 OK", R"({"entries": [], "has_more": false, "cursor": "end"})"};
  }

 private:
  std::string first_page_;
  int calls_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TDTDropBox client(std::make_unique<PageTransport>(std::string(reinterpret_cast<const char*>(data), size)),
                    CloudHosts{"https://api.invalid", "https://content.invalid"});
  try {
    client.ListarArquivosDaPasta("/BACKUP DROVANA");
  } catch (const CloudError&) {
    // a page the client cannot read must still end the listing with its error entry
    if (client.ListaArquivos.empty() || client.ListaArquivos.back().StatusCode != 400) __builtin_trap();
  }
  return 0;
}
