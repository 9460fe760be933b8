// External control of a running script: the main window serves the topic "command" under the
// script's name, taking the macros "line", "pause" and "break".
#pragma once

#include <QObject>
#include <memory>
#include <string>

namespace morivel::engine {
class Interpreter;
}

namespace morivel::automation {

// nullptr when another run of the same script serves already.
std::unique_ptr<QObject> StartExternalControl(engine::Interpreter& in,
                                              const std::string& script_path);

}  // namespace morivel::automation
