// enhtool: makes option files from a readable description and inspects them.
//   enhtool make <description|-> <output.ENH>
//   enhtool show <file.ENH>...
#include "tools/enhtool/EnhFile.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: enhtool make <description|-> <output.ENH>\n"
                         "       enhtool show <file.ENH>...\n");
    return 2;
}

int Make(const char* descriptionPath, const char* outputPath)
{
    std::stringstream text;
    if (std::strcmp(descriptionPath, "-") == 0) {
        text << std::cin.rdbuf();
    } else {
        std::ifstream in(descriptionPath, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "enhtool: cannot read %s\n", descriptionPath);
            return 2;
        }
        text << in.rdbuf();
    }
    EnhDescription description;
    std::string error;
    if (!ParseEnhDescription(text.str(), description, error)) {
        std::fprintf(stderr, "enhtool: %s: %s\n", descriptionPath, error.c_str());
        return 2;
    }
    const std::vector<unsigned char> bytes = BuildEnhFile(description);
    std::ofstream out(outputPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "enhtool: cannot write %s\n", outputPath);
        return 2;
    }
    return 0;
}

int Show(int count, char** paths)
{
    int result = 0;
    for (int i = 0; i < count; ++i) {
        std::ifstream in(paths[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "enhtool: cannot read %s\n", paths[i]);
            result = 2;
            continue;
        }
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                               std::istreambuf_iterator<char>());
        std::string report;
        const int warnings = DescribeEnhFile(bytes, report);
        std::printf("%s%s\n%s", i ? "\n" : "", paths[i], report.c_str());
        if (warnings && result == 0)
            result = 1;
    }
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "make") == 0)
        return Make(argv[2], argv[3]);
    if (argc >= 3 && std::strcmp(argv[1], "show") == 0)
        return Show(argc - 2, argv + 2);
    return Usage();
}
