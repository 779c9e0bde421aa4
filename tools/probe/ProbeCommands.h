// The probe's subcommands. Each prints JSON (UTF-8) to `out` and returns the exit status.
#pragma once

#include <json/value.h>

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace rundix {

class Machine;

struct ProbeOptions {
  std::string command;
  std::string machineFile;  // --machine: description of a simulated machine (Linux)
  std::string sandbox;      // --sandbox: its folder (default: a fresh temporary folder)
  std::vector<std::string> rest;
};

// Writes one JSON value (pretty or one line) followed by a line feed.
void WriteJson(std::ostream& out, const Json::Value& value, bool oneLine = false);

int ProbeCatalogue(const ProbeOptions& options, std::ostream& out);
// The three presence masks, native64 and every catalogue entry's decision; the OpenAL and
// PhysX entries also show the versions and library checks behind theirs.
int ProbeDetect(const ProbeOptions& options, std::ostream& out);
// The four scan stages into a queue without a window: one finding a line, in push order.
int ProbeScan(const ProbeOptions& options, std::ostream& out);
// A file's size and SHA-256 (read from the host's file system), its pins-file line and
// whether it matches the pin of its name; for the people who fill the pins file.
int ProbeVerify(const ProbeOptions& options, std::ostream& out);

}  // namespace rundix

namespace rundix {

// The machine a subcommand looks at; null and a message in `error` when there is none.
std::unique_ptr<Machine> OpenProbeMachine(const ProbeOptions& options, std::string* error);

}  // namespace rundix
