// Runs the host edition of the updater as a child process with its own simulated machine and user.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct tagUpdaterRun {
    int exitCode = -1;
    std::string console;  // standard output
    std::string errors;   // standard error
    // RunAndInterrupt*: the output had shown what the test waited for when SIGINT was sent (false:
    // the run ended by itself first and was never interrupted).
    bool interruptedWhenReady = false;
};

// One isolated world per test: a state directory of the simulated machine, a LOCALAPPDATA and a
// working directory, all under a fresh temporary directory that is removed afterwards. Every result
// file a run leaves in the working folder (a new or changed last-run.json or run-*.json) is kept,
// and when the sandbox goes all of them are checked against docs/last-run.schema.json (one
// python3 run); a violation fails the test.
class UpdaterSandbox {
public:
    UpdaterSandbox();
    ~UpdaterSandbox();
    UpdaterSandbox(const UpdaterSandbox&) = delete;
    UpdaterSandbox& operator=(const UpdaterSandbox&) = delete;

    // Copies the updater (with its resources) into a directory of the sandbox, which may hold a
    // blank, and runs it from there: started by its bare name from that directory, or by its full
    // path.
    void InstallProgram(const std::string& directory, bool bareName);
    std::filesystem::path ProgramDirectory() const { return programDirectory_; }
    // After InstallProgram: started as argv0 (a bare name, a relative or a full path) from this
    // working directory.
    void StartAs(const std::string& argv0, const std::filesystem::path& workingDirectory) {
        argv0_ = argv0;
        workingDirectory_ = workingDirectory;
    }
    // Installs the desktop suite's doubles in the simulated machine's 32-bit program files folder.
    void InstallSuite();
    std::filesystem::path SuiteDirectory() const {
        return StateDirectory() / "Program Files (x86)" / "Orvane Graphics" / "Panelux";
    }
    // The admin-only working folder of the simulated machine.
    std::filesystem::path WorkingFolder() const {
        return StateDirectory() / "ProgramData" / "Orvane" / "OvnK740FpgaUpdater";
    }
    // Restarts the simulated machine and logs on: the run-once entries run with this input; their
    // console output is returned, the exit code is that of the simulated restart command.
    tagUpdaterRun RestartAndLogon(const std::string& input = "") const;

    // Writes the machine file the next runs use (unset: the default machine).
    void UseMachine(const std::string& json);
    void SetEnvironment(const std::string& name, const std::string& value);
    // The updater's standard input stays open after the given input (a FIFO), so a key prompt
    // waits for a key instead of reading the end of input.
    void HoldInputOpen(bool hold) { holdInput_ = hold; }

    // Runs the updater with these arguments and standard input; waits for it to end.
    tagUpdaterRun Run(const std::vector<std::string>& args, const std::string& input = "") const;
    // Starts the updater, waits until its output satisfies `ready` (or contains `marker`), calls
    // `meanwhile` (when given) while it still runs, sends SIGINT and waits for the end. No time
    // limit of its own: a run that ends first is reported so (and `meanwhile` is not called).
    tagUpdaterRun RunAndInterruptWhen(const std::vector<std::string>& args,
                                      const std::function<bool(const std::string&)>& ready,
                                      const std::string& input = "",
                                      const std::function<void()>& meanwhile = {}) const;
    tagUpdaterRun RunAndInterrupt(const std::vector<std::string>& args, const std::string& marker,
                                  const std::string& input = "") const;
    // Starts the updater with its input held open, waits until its output contains `marker`, does
    // `act` while the run waits there, then types `input` and waits for the end.
    tagUpdaterRun RunAndActAt(const std::vector<std::string>& args, const std::string& marker,
                              const std::function<void()>& act, const std::string& input) const;

    std::filesystem::path Root() const { return root_; }
    std::filesystem::path StateDirectory() const { return stateDirectory_; }
    // Moves the simulated machine's state (and so its known folders) to this sandbox directory,
    // which may hold blanks and any characters. Before anything is installed.
    void UseStateDirectory(const std::string& name);
    std::filesystem::path LogFile() const;
    std::string LogBytes() const;
    // Writes a file in the sandbox and returns its path.
    std::filesystem::path WriteFile(const std::string& name, const std::string& bytes) const;

private:
    std::filesystem::path root_;
    std::filesystem::path programDirectory_;
    std::filesystem::path workingDirectory_;
    std::filesystem::path stateDirectory_;  // empty: the program directory
    std::string program_ = OVN_UPDATER_PATH;
    std::string argv0_ = OVN_UPDATER_PATH;
    std::map<std::string, std::string> environment_;
    bool holdInput_ = false;
    // After every run: the result files that are new or changed since the last look are copied.
    void KeepNewResults() const;
    void CheckKeptResults() const;
    mutable std::map<std::string, std::string> resultsSeen_;  // name: content
    mutable std::vector<std::filesystem::path> resultsKept_;
};

// The demo's image (version 1.4.2) with a bitstream a hundredth of the shipped sample's: whole
// runs test the run, and shifting 96 KB per card under the sanitizers would be most of their time.
std::string DemoImage();
// The sample image shipped with the product, for a test that needs a play of millions of pin
// writes (the Ctrl+C stall).
std::string SampleImage();
// A programming run's set-up: the default machine with these faults (JSON objects) on its first
// and second card, and the demo image as demo.xsvf in the working directory.
void UseDemoOnDefaultCards(UpdaterSandbox& box, const std::string& firstFaults,
                           const std::string& secondFaults);
std::string ReadFileBytes(const std::filesystem::path& path);
