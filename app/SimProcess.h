#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <string>

namespace korven::simproc {

// The terminal simulator as a child process: started with its options, its
// report read back as JSON once the program under test is done.
class SimProcess {
 public:
  SimProcess() = default;
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts the simulator and waits until every terminal listens.
  bool start(const QString& program, const QStringList& arguments);
  // Asks for the report and returns its terminals, in address order; once
  // the simulator has ended, the report it wrote on its way out.
  QJsonArray report();
  // Sends one command line and returns the first line of the answer that
  // begins with one of the prefixes; empty when none comes in time.
  QString command(const QString& line, const QStringList& answerPrefixes);
  // The first line since the last command that begins with one of the
  // prefixes; empty when none comes in time.
  QString waitForLine(const QStringList& prefixes, int milliseconds = 10000);
  // What the simulator printed since the last command.
  const QString& output() const { return output_; }
  // Ends the simulator with "quit", or with SIGTERM, and returns its exit
  // code; -1 when it never ran, crashed or did not end in time.
  int stop(bool terminate = false);

 private:
  QProcess process_;
  QString output_;
  QString reportPath_;
  bool ran_ = false;
};

// The terminal of the report with this address; empty when absent.
QJsonObject terminalAt(const QJsonArray& terminals, const QString& address);

}  // namespace korven::simproc
