// tavrix-vbs FILE [ARGS...]: runs a script file from the command line with a
// WScript object (wscript_object.h). Exit code: the script's WScript.Quit
// code, 0 after a normal end, 1 after an uncaught error (printed to standard
// error as "FILE(LINE, COLUMN) SOURCE: DESCRIPTION (NUMBER)") or when the
// file cannot be read.
#include <atomic>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "vbscript/runner/wscript_object.h"
#include "vbscript/script.h"

int main(int argc, char** argv) {
  using namespace tavrix;
  if (argc < 2) {
    std::cerr << "usage: tavrix-vbs FILE [ARGS...]\n";
    return 1;
  }
  const std::string path = argv[1];
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::cerr << path << ": cannot open the file\n";
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();

  vbs::ScriptEngine engine;
  std::atomic<bool> quit{false};
  int32_t quitCode = 0;
  vbs::WScriptOptions options;
  options.scriptFullName = path;
  const size_t slash = path.find_last_of('/');
  options.scriptName = slash == std::string::npos ? path : path.substr(slash + 1);
  for (int i = 2; i < argc; ++i) options.arguments.emplace_back(argv[i]);
  options.out = &std::cout;
  options.err = &std::cerr;
  options.quit = [&](int32_t code) {
    quitCode = code;
    quit = true;
    engine.Interrupt(E_ABORT);
  };
  options.interrupted = [&] { return quit.load(); };
  (void)engine.AddNamedObject("WScript", vbs::MakeWScript(std::move(options)));

  HRESULT hr = engine.Parse(text.str());
  if (hr.succeeded()) hr = engine.RunModule();
  if (quit) return quitCode;
  if (hr.failed()) {
    const vbs::ScriptErrorInfo& e = engine.lastError();
    std::cout << std::flush;
    std::cerr << path << "(" << e.line << ", " << e.column << ") " << e.source << ": "
              << e.description << " (" << e.number << ")\n";
    return 1;
  }
  return 0;
}
