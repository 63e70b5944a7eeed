// A library for the loader's tests: one export with a known answer.
extern "C" __declspec(dllexport) int RariduzeTestAnswer() { return 42; }
