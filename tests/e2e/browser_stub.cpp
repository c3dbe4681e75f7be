// A stand-in web browser for the end-to-end runs: registered as the "open"
// command of http addresses in the run's Wine prefix, it appends the address
// it is given, one line per start, to a record file.
//
//   browser_stub.exe <record file> <address>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  std::FILE* record = std::fopen(argv[1], "ab");
  if (record == nullptr) return 1;
  std::fprintf(record, "%s\n", argv[2]);
  return std::fclose(record) == 0 ? 0 : 1;
}
