// Entry point that runs a fuzz harness over stored inputs instead of under
// libFuzzer: every regular file of the folders (and files) named on the
// command line, in name order, goes once through LLVMFuzzerTestOneInput. The
// seed corpora and every input a fuzzer once crashed on are replayed so in
// the ordinary test run; the harness aborts on a finding, and a folder that
// is missing or holds no input fails the run, so a moved corpus cannot pass
// unseen.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    namespace fs = std::filesystem;
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s folder-or-file...\n", argv[0]);
        return 2;
    }
    int replayed = 0;
    for (int a = 1; a < argc; ++a) {
        std::vector<fs::path> inputs;
        std::error_code error;
        if (fs::is_directory(argv[a], error)) {
            for (const fs::directory_entry &e : fs::recursive_directory_iterator(argv[a], error))
                if (e.is_regular_file())
                    inputs.push_back(e.path());
            std::sort(inputs.begin(), inputs.end());
        } else if (fs::is_regular_file(argv[a], error)) {
            inputs.push_back(argv[a]);
        }
        if (inputs.empty()) {
            std::fprintf(stderr, "no inputs in %s\n", argv[a]);
            return 1;
        }
        for (const fs::path &path : inputs) {
            std::ifstream in(path, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", path.c_str());
                return 1;
            }
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            std::fprintf(stderr, "%s (%zu bytes)\n", path.c_str(), bytes.size());
            // An empty vector's data() may be null; the harnesses take any pointer with size 0.
            static const uint8_t none = 0;
            LLVMFuzzerTestOneInput(bytes.empty() ? &none : reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    std::fprintf(stderr, "replayed %d inputs\n", replayed);
    return 0;
}
