// The tavrix executable: the server, and its registration switches.
#include <cstdio>
#include <cstring>

#include "host/service_module.h"

namespace {

void PrintUsage() {
  std::printf(
      "Usage: tavrix [--help | --version | -RegServer | -UnregServer | -Service]\n"
      "Tavrix collects data from industrial controllers into a history database.\n"
      "\n"
      "Without a switch the server starts: as a service when it is registered as one\n"
      "and systemd started it, otherwise as a local server that runs until SIGTERM or\n"
      "SIGINT. Its settings file is $TAVRIX_REGISTRY, else /etc/tavrix/tavrix.reg.\n"
      "\n"
      "  -RegServer    register as a local server in the settings file\n"
      "  -Service      register as a service (also writes the systemd unit\n"
      "                tavrix.service to /etc/systemd/system or $TAVRIX_UNIT_DIR)\n"
      "  -UnregServer  remove the registration and the unit\n"
      "  --help        print this text and exit\n"
      "  --version     print the version and exit\n");
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      PrintUsage();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tavrix %s\n", TAVRIX_VERSION);
      return 0;
    }
  }
  return tavrix::CServiceModule::Instance().Start(argc, argv);
}
