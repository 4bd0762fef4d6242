// Deterministic data for the benchmarks (fixed seeds: the same file every time).
//
//   fendrix-gen KIND FILE [SCALE]
//
// KIND:
//   lotto   2,000,000 lines of five distinct two-digit numbers out of 90,
//           space-separated, sorted within the line, CR LF; about half of
//           them repeat an earlier line (about 32 MB)
//   csv     400,000 lines of five comma-separated numbers below 100,000:
//           2,000,000 items, many repeated
//   unique  2,000,000 distinct items, one per line
//   same    2,000,000 lines of one item
//   long    40,000 lines of about 1 KB, about half of them repeats
// SCALE multiplies the number of lines (default 1; fractions allowed).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

class Uscita {
public:
    explicit Uscita(const char* percorso) : f_(std::fopen(percorso, "wb"))
    {
        if (!f_) {
            std::perror(percorso);
            std::exit(1);
        }
        buf_.reserve(1 << 20);
    }
    ~Uscita()
    {
        svuota();
        if (std::fclose(f_) != 0) {
            std::perror("close");
            std::exit(1);
        }
    }
    void operator()(std::string_view s)
    {
        buf_.append(s);
        if (buf_.size() >= (1 << 20))
            svuota();
    }

private:
    void svuota()
    {
        if (std::fwrite(buf_.data(), 1, buf_.size(), f_) != buf_.size()) {
            std::perror("write");
            std::exit(1);
        }
        buf_.clear();
    }
    std::FILE* f_;
    std::string buf_;
};

std::uint64_t righe(double scala, std::uint64_t base)
{
    return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(static_cast<double>(base) * scala));
}

void numero2(std::string& s, int n)
{
    s += static_cast<char>('0' + n / 10);
    s += static_cast<char>('0' + n % 10);
}

void lotto(Uscita& out, double scala)
{
    std::mt19937_64 caso(20261207);
    const std::uint64_t n = righe(scala, 2'000'000);
    std::vector<std::array<std::uint8_t, 5>> usciti;
    usciti.reserve(n / 2 + 1);
    std::string riga;
    for (std::uint64_t i = 0; i < n; ++i) {
        std::array<std::uint8_t, 5> c{};
        if (i % 2 == 1 && !usciti.empty()) {
            c = usciti[caso() % usciti.size()];
        } else {
            std::array<bool, 91> preso{};
            for (int k = 0; k < 5;) {
                const int x = 1 + static_cast<int>(caso() % 90);
                if (!preso[x]) {
                    preso[x] = true;
                    c[k++] = static_cast<std::uint8_t>(x);
                }
            }
            std::sort(c.begin(), c.end());
            usciti.push_back(c);
        }
        riga.clear();
        for (int k = 0; k < 5; ++k) {
            if (k)
                riga += ' ';
            numero2(riga, c[k]);
        }
        riga += "\r\n";
        out(riga);
    }
}

void csv(Uscita& out, double scala)
{
    std::mt19937_64 caso(424242);
    const std::uint64_t n = righe(scala, 400'000);
    std::string riga;
    for (std::uint64_t i = 0; i < n; ++i) {
        riga.clear();
        for (int k = 0; k < 5; ++k) {
            if (k)
                riga += ',';
            riga += std::to_string(caso() % 100'000);
        }
        riga += "\r\n";
        out(riga);
    }
}

void uniche(Uscita& out, double scala)
{
    // Distinct by construction: a bijective mix of the line number.
    const std::uint64_t n = righe(scala, 2'000'000);
    char riga[48];
    for (std::uint64_t i = 0; i < n; ++i) {
        std::uint64_t x = i * 0x9E3779B97F4A7C15ull;
        x ^= x >> 29;
        const int len = std::snprintf(riga, sizeof riga, "voce-%016llx-%llu\r\n",
                                      static_cast<unsigned long long>(x),
                                      static_cast<unsigned long long>(i));
        out(std::string_view(riga, static_cast<std::size_t>(len)));
    }
}

void stessa(Uscita& out, double scala)
{
    const std::uint64_t n = righe(scala, 2'000'000);
    for (std::uint64_t i = 0; i < n; ++i)
        out("12 34 56 78 90\r\n");
}

void lunghe(Uscita& out, double scala)
{
    std::mt19937_64 caso(1024);
    const std::uint64_t n = righe(scala, 40'000);
    std::vector<std::string> viste;
    for (std::uint64_t i = 0; i < n; ++i) {
        if (i % 2 == 1 && !viste.empty()) {
            out(viste[caso() % viste.size()]);
            continue;
        }
        std::string riga;
        const std::size_t len = 900 + caso() % 250;
        // Long shared prefixes make the comparisons work.
        riga.assign(len / 2, 'x');
        while (riga.size() < len)
            riga += static_cast<char>('a' + caso() % 26);
        riga += "\r\n";
        out(riga);
        viste.push_back(std::move(riga));
    }
}

}  // namespace

int main(int argc, char* argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: fendrix-gen lotto|csv|unique|same|long FILE [SCALE]\n");
        return 2;
    }
    const std::string_view tipo = argv[1];
    const double scala = argc > 3 ? std::atof(argv[3]) : 1.0;
    if (!(scala > 0)) {
        std::fprintf(stderr, "SCALE must be positive\n");
        return 2;
    }
    Uscita out(argv[2]);
    if (tipo == "lotto")
        lotto(out, scala);
    else if (tipo == "csv")
        csv(out, scala);
    else if (tipo == "unique")
        uniche(out, scala);
    else if (tipo == "same")
        stessa(out, scala);
    else if (tipo == "long")
        lunghe(out, scala);
    else {
        std::fprintf(stderr, "unknown kind: %s\n", argv[1]);
        return 2;
    }
    return 0;
}
