// The commands of the trx program. Each takes the words after the command
// name and writes to the given streams, so that tests run them in-process.
//
// Exit codes: 0 success; 1 the service or the client reported a failure,
// or a file could not be loaded; 2 the command line was not understood.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/trxsession.h"

enum : int { kTrxExitOk = 0, kTrxExitFailed = 1, kTrxExitUsage = 2 };

// The whole program: `arguments` are the words after the program name.
int TrxMain(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err);

int TrxServe(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err);
int TrxTree(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int TrxDefs(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int TrxCall(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
int TrxDemo(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

// The walk of `trx demo` on an open session.
int TrxRunDemo(TrxSession& session, std::ostream& out);

// A VARIANT for people: "\"Acme\"", "60", "TRUE", "(empty)", "[1, \"a\"]".
std::string TrxDescribeVariant(const VARIANT& value);
