#include "run/paths.h"

// Only '/' separates directories here: a colon or backslash is an ordinary
// character of a Linux file name (capture programs put times in names).
std::string FileNameOf(const std::string& path)
{
    const auto cut = path.rfind('/');
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string DirectoryOf(const std::string& path)
{
    const auto cut = path.rfind('/');
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string OutputPathFor(const std::string& inputPath, const std::string& outputDir, bool grayscale)
{
    const std::string base = inputPath.size() > 4 ? inputPath.substr(0, inputPath.size() - 4) : std::string();
    const std::string name = base + "_" + (grayscale ? "Y8" : "") + "orbic.avi";
    return outputDir + FileNameOf(name);
}
