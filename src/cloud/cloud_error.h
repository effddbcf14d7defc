#pragma once

#include <stdexcept>

namespace nuvexa::cloud {

// A failure of the cloud client, carrying the message exactly as it is recorded in
// `TRetorno::Mensagem` and written to the log.
class CloudError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace nuvexa::cloud
