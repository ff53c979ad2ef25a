// The commands of the trx program. Each takes the words after the command
// name and writes to the given streams, so that tests run them in-process.
//
// Exit codes: 0 success; 1 the service or the client reported a failure,
// or a file could not be loaded; 2 the command line (or a line of the
// actions of `trx record`) was not understood.
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
int TrxRecord(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err);
// The object view on 127.0.0.1 until `in` ends or the process is
// interrupted (Linux; cli/trxspy.cpp).
int TrxSpy(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out, std::ostream& err);

// The walk of `trx demo` on an open session.
int TrxRunDemo(TrxSession& session, std::ostream& out);

// What `trx record` writes: every event as its JSON line (events), as
// TrxDescribeEvent does (text); or, once recording stopped, the replay of the
// events as bridge request lines (jsonl) or as a Python script that uses the
// client package of clients/python (python).
enum class TrxRecordOutput { events, text, jsonl, python };

// The actions of `trx record` on an open session: connects an event sink,
// starts recording, plays each action line of `actions` (named `source` in
// messages), writes what `output` asks for, then stops recording. Returns
// the exit code.
int TrxRunRecord(TrxSession& session, std::istream& actions, const std::string& source, TrxRecordOutput output,
                 std::ostream& out, std::ostream& err);

// The name a tool sees for a catalogue type number ("8": "String").
std::string TrxCatalogueTypeName(const std::string& number);
// A VARIANT for people: "\"Acme\"", "60", "TRUE", "(empty)", "[1, \"a\"]".
std::string TrxDescribeVariant(const VARIANT& value);
// An event line of the bridge for people:
//   Record  ProcessKeyboardAccelerator  "Ctrl+N"  on <Obj .../>
// A line that is not an event comes back as it is.
std::string TrxDescribeEvent(const std::string& line);
