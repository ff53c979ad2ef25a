// The trx program: see cli/trxcommands.h and docs/trx.md.
#include <iostream>
#include <string>
#include <vector>

#include "cli/trxcommands.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return TrxMain(arguments, std::cin, std::cout, std::cerr);
}
