#pragma once
// The desktop shell: hands a file, folder, program or web address to the desktop to be opened
// with its default action. The answer is not reported: a target that cannot be opened is
// dropped silently, as the callers expect.
#include <QString>
#include <memory>

namespace platform {

struct ShellRequest {
    QString target;         // file, folder, program or address
    QString parameters;     // one text, handed to a program as its one argument; may be empty
    QString workingFolder;  // the started program's working folder; empty for none
};

class Shell {
public:
    virtual ~Shell() = default;
    // Starts the request and returns at once; never waits for what it started.
    virtual void open(const ShellRequest& request) = 0;
};

// The backend in use: the Linux one unless another was installed.
Shell& shell();
// Installs a backend (tests); null puts the Linux backend back.
void SetShell(std::unique_ptr<Shell> backend);

// The Linux backend. A request is handled by the first rule that fits:
//   - an address with a scheme ("https://...", "mailto:...", "file://..."): xdg-open of it;
//   - a target named notepad.exe (any folder, any letter case): xdg-open of the parameter text,
//     the file then opens in its default application;
//   - a target named explorer.exe: xdg-open of the folder in the parameter text (else the
//     working folder, else the home folder), which shows it in the file manager;
//   - another NAME.exe: the program NAME in the same folder is started when it is there (else
//     NAME.exe itself when it is a program file; a bare NAME.exe is looked up on PATH as NAME);
//   - an existing folder: xdg-open of it;
//   - an existing program file (executable by its mode, and a binary or a "#!" script), or a
//     bare program name found on PATH: the program is started with the parameter text as its
//     one argument (none when empty) in the working folder;
//   - any other existing file: xdg-open of it (the document's default application).
// A relative target is taken from the working folder when one is given. Everything is started
// detached (the process does not wait and leaves no zombie); xdg-open is looked up on PATH.
std::unique_ptr<Shell> CreateLinuxShell();

}  // namespace platform
