// The floor for the command benchmarks: a plain program that reads a BVH file
// and parses every number of its motion, doing nothing else. No converter can
// beat it by much, so it tells how far above the bare cost of the input a
// command runs.

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_floor FILE.bvh\n");
        return 2;
    }
    std::FILE *file = std::fopen(argv[1], "rb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<char> text;
    char block[1 << 16];
    for (size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;)
        text.insert(text.end(), block, block + n);
    std::fclose(file);

    const char *p = text.data();
    const char *end = p + text.size();
    // Numbers start after the "Frame Time:" line.
    static const char marker[] = "Frame Time:";
    const char *found = std::search(p, end, marker, marker + sizeof marker - 1);
    if (found == end) {
        std::fprintf(stderr, "%s: no motion\n", argv[1]);
        return 1;
    }
    p = static_cast<const char *>(std::memchr(found, '\n', end - found));
    p = p ? p + 1 : end;

    long long count = 0;
    double sum = 0;
    while (p < end) {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
            ++p;
        if (p == end)
            break;
        double value = 0;
        const auto [next, error] = std::from_chars(p, end, value);
        if (error != std::errc()) {
            ++p;
            continue;
        }
        sum += value;
        ++count;
        p = next;
    }
    std::printf("%lld numbers, sum %.6g\n", count, sum);
    return 0;
}
