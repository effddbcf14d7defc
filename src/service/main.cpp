#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "service/service_status.h"
#include "service/srv_nuvexa.h"

int main(int argc, char** argv) {
  // the log's time stamps follow the locale the service runs under
  std::setlocale(LC_ALL, "");
  const std::vector<std::string> arguments(argv, argv + argc);

  // Only a service manager can start the service; without one there is nothing to run.
  const std::string message = "The service process could not connect to the service controller.";
  nuvexa::SystemEventLogger(nuvexa::TSrvNuvexa::kServiceName).LogError(message);
  std::cerr << message << '\n';
  return 1;
}
