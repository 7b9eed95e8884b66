// Fits a vocal detector's trees (boosted depth-2 trees, logistic loss) on
// EvidenceTrace output and reports, per test trace, how many positive files
// and how many files of each other label reach a mean log-odds over SMOOTH
// traced hops (default 15, i.e. 30 hops) above -2 .. 4.
//
//   FitTrees MEASURES ROUNDS MINLEAF TRAIN1,TRAIN2.. TEST1,TEST2.. [OUT.json [MINVOICED [RATE]]]
//
// MEASURES: evidence indices (EffortMeasure order), comma-separated. Hops
// are used only where the window's voiced share reaches MINVOICED (the
// detector's minVoicedShare). Positives: hops of files labelled POSLABEL
// (environment, default Aggression) from 0.2 s after the onset to 0.3 s
// after the end. Environment: PERFILE=1 weighs every positive file alike;
// W_<label> weighs the hops of files with that label (CRYW and DOGW are the
// older names for W_BabyCry and W_DogBark); HARDNEG=k, after ROUNDS, weighs
// k times the negative hops the trees then rate over log-odds 1 and adds a
// third more rounds. The kept Aggression model (traces of 50 hops):
//   HARDNEG=8 PERFILE=1 CRYW=3 DOGW=2 FitTrees 1,3,4,5,6,7,8,11,14,15,17,18,19,21,22,23,24,26,27,28,29
//       150 100 seeds 2,3,4,5,7,8 (tune) seeds 1,6 (tune) OUT.json 0.25 0.15
// The Aggression "voiceBands" trees: the same command on traces written with
// `EvidenceTrace FOLDER tune 50 1` (hops voiced by the voice's bands too).
// The Aggression "cleanVoice" trees: the kept command with
// POSSUB=shout_clean,scream_clean (the clean yells alone are positives).
// The BabyCry trees tried and not kept (NOTES-vocal.md; traces of 100 hops,
// every measure but the bias and clipping):
//   POSLABEL=BabyCry SMOOTH=30 HARDNEG=8 PERFILE=1 W_Aggression=6 W_Siren=2 W_SmokeAlarm=2 FitTrees
//       1..24,26..29 150 100 seeds 2,3,4,5,7,8,9,10 (tune) seeds 1,6,11 (tune) OUT.json 0.15 0.15
//
// Not part of the library: a tool for refitting its Aggression and BabyCry classes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>
struct File { std::string name, label, sub; int snr; double on, off; std::vector<double> t; std::vector<std::vector<float>> x; };
std::vector<File> Load(const std::string& path) {
    std::vector<File> files; std::ifstream in(path); std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line); char kind; s >> kind;
        if (kind == 'F') { File f; int idx; std::string snr; s >> idx >> f.name >> f.label >> f.sub >> snr >> f.on >> f.off; f.snr = snr == "-" ? 99 : std::atoi(snr.c_str()); files.push_back(f); }
        else { int idx, ev; double t; s >> idx >> t >> ev; std::vector<float> v; float a; while (s >> a) v.push_back(a); files.back().t.push_back(t); files.back().x.push_back(v); }
    }
    return files;
}
std::vector<std::string> Split(const std::string& s, char c) { std::vector<std::string> o; std::string cur; for (char ch : s) { if (ch == c) { o.push_back(cur); cur.clear(); } else cur += ch; } o.push_back(cur); return o; }
struct Tree { int f; float at; int f2[2]; float at2[2]; float v[2][2]; };
double Value(const Tree& t, const std::vector<float>& x) { int s = x[t.f] <= t.at ? 0 : 1; return t.v[s][x[t.f2[s]] <= t.at2[s] ? 0 : 1]; }
double admitVsh = 0.25;
double LabelWeight(const std::string& label, double cryW, double dogW) { const char* e = getenv(("W_" + label).c_str()); if (e) return std::atof(e); return label == "BabyCry" ? cryW : label == "DogBark" ? dogW : 1.0; }
bool Admit(const std::vector<float>& x) { return x[1] >= admitVsh && x[3] > 0; }
int main(int argc, char** argv) {
    const std::string posLabel = getenv("POSLABEL") ? getenv("POSLABEL") : "Aggression";
    std::vector<int> feats; for (auto& s : Split(argv[1], ',')) feats.push_back(std::atoi(s.c_str()));
    int rounds = std::atoi(argv[2]), minleaf = std::atoi(argv[3]);
    std::string outPath = argc > 6 ? argv[6] : "";
    if (argc > 7) admitVsh = std::atof(argv[7]);
    double rate = argc > 8 ? std::atof(argv[8]) : 0.2;
    std::vector<const std::vector<float>*> X; std::vector<double> Y, W, K;
    const double cryW = getenv("CRYW") ? std::atof(getenv("CRYW")) : 1.0, dogW = getenv("DOGW") ? std::atof(getenv("DOGW")) : 1.0;
    std::vector<File> all;
    for (auto& path : Split(argv[4], ',')) { auto f = Load(path); for (auto& x : f) all.push_back(std::move(x)); }
    double wpos = 0, wneg = 0;
    const bool perFile = getenv("PERFILE") != nullptr;
    // POSSUB=a,b: only positive files whose sub-label (before any "+") is
    // listed are positives; the class's other files are left out. W_SUB_<sub>
    // weighs a positive sub-label's files (after PERFILE).
    std::vector<std::string> posSubs; if (getenv("POSSUB")) posSubs = Split(getenv("POSSUB"), ',');
    auto subBase = [](const std::string& sub) { return sub.substr(0, sub.find('+')); };
    for (auto& f : all) {
        size_t first = X.size();
        bool pos = f.label == posLabel;
        if (pos && !posSubs.empty() && std::find(posSubs.begin(), posSubs.end(), subBase(f.sub)) == posSubs.end()) continue;
        for (size_t i = 0; i < f.t.size(); ++i) {
            if (!Admit(f.x[i])) continue;
            if (pos && (f.t[i] < f.on + 0.2 || f.t[i] > f.off + 0.3)) continue;
            X.push_back(&f.x[i]); Y.push_back(pos); (pos ? wpos : wneg) += 1; K.push_back(LabelWeight(f.label, cryW, dogW));
        }
        if (perFile && pos && X.size() > first) { double k = 100.0 / (X.size() - first); for (size_t j = first; j < X.size(); ++j) K[j] = k; }
        if (const char* w = pos ? getenv(("W_SUB_" + subBase(f.sub)).c_str()) : nullptr) for (size_t j = first; j < X.size(); ++j) K[j] *= std::atof(w);
    }
    size_t n = Y.size();
    W.resize(n); for (size_t i = 0; i < n; ++i) W[i] = (Y[i] ? 0.5 * n / wpos : 0.5 * n / wneg) * K[i];
    std::fprintf(stderr, "rows %zu pos %.0f neg %.0f\n", n, wpos, wneg);
    // presort
    std::map<int, std::vector<int>> order;
    for (int f : feats) { std::vector<int> o(n); for (size_t i = 0; i < n; ++i) o[i] = i; std::sort(o.begin(), o.end(), [&](int a, int b) { return (*X[a])[f] < (*X[b])[f]; }); order[f] = o; }
    std::vector<double> F(n, 0.0), g(n), h(n);
    std::vector<char> side(n);
    std::vector<Tree> trees;
    double bias = 0;
    const double lam = 1.0;
    // best split among rows with mask==m
    auto best = [&](char m, int& bf, float& bat, double& gain) {
        double G = 0, H = 0; int cnt = 0; for (size_t i = 0; i < n; ++i) if (side[i] == m) { G += g[i]; H += h[i]; ++cnt; }
        double base = G * G / (H + lam); gain = 0; bf = -1;
        for (int f : feats) {
            const auto& o = order[f]; double gl = 0, hl = 0; int c = 0; int prev = -1;
            for (int i : o) { if (side[i] != m) continue;
                if (prev >= 0 && c >= minleaf && cnt - c >= minleaf && (*X[prev])[f] != (*X[i])[f]) {
                    double gg = gl * gl / (hl + lam) + (G - gl) * (G - gl) / (H - hl + lam) - base;
                    if (gg > gain) { gain = gg; bf = f; bat = 0.5f * ((*X[prev])[f] + (*X[i])[f]); } }
                gl += g[i]; hl += h[i]; ++c; prev = i; }
        }
    };
    auto leaf = [&](char m) { double G = 0, H = 0; for (size_t i = 0; i < n; ++i) if (side[i] == m) { G += g[i]; H += h[i]; } return -G / (H + lam) * rate; };
    const double hardNeg = getenv("HARDNEG") ? std::atof(getenv("HARDNEG")) : 0.0;
    const int total = hardNeg > 0 ? rounds + rounds / 3 : rounds;
    for (int r = 0; r < total; ++r) {
        if (hardNeg > 0 && r == rounds) {
            int hard = 0;
            for (size_t i = 0; i < n; ++i) if (!Y[i] && bias + F[i] > 1.0) { W[i] *= hardNeg; ++hard; }
            std::fprintf(stderr, "hard negatives: %d\n", hard);
        }
        for (size_t i = 0; i < n; ++i) { double p = 1 / (1 + std::exp(-(bias + F[i]))); g[i] = W[i] * (p - Y[i]); h[i] = W[i] * std::max(p * (1 - p), 1e-6); side[i] = 0; }
        Tree t; double gain; best(0, t.f, t.at, gain); if (t.f < 0) break;
        for (size_t i = 0; i < n; ++i) side[i] = (*X[i])[t.f] <= t.at ? 1 : 2;
        for (int s = 0; s < 2; ++s) {
            int f2; float at2; best(1 + s, f2, at2, gain);
            if (f2 < 0) { double v = leaf(1 + s); t.f2[s] = 0; t.at2[s] = 1e9; t.v[s][0] = t.v[s][1] = v; continue; }
            t.f2[s] = f2; t.at2[s] = at2;
            for (size_t i = 0; i < n; ++i) if (side[i] == 1 + s) side[i] = (*X[i])[f2] <= at2 ? 10 + 2 * s : 11 + 2 * s;
            t.v[s][0] = leaf(10 + 2 * s); t.v[s][1] = leaf(11 + 2 * s);
        }
        trees.push_back(t);
        for (size_t i = 0; i < n; ++i) F[i] += Value(t, *X[i]);
    }
    std::map<int, int> used; for (auto& t : trees) { used[t.f]++; used[t.f2[0]]++; used[t.f2[1]]++; }
    std::fprintf(stderr, "trees %zu, features used:", trees.size()); for (auto& kv : used) std::fprintf(stderr, " %d:%d", kv.first, kv.second); std::fprintf(stderr, "\n");
    if (!outPath.empty()) {
        FILE* o = std::fopen(outPath.c_str(), "w");
        std::fprintf(o, "[\n");
        for (size_t k = 0; k < trees.size(); ++k) { auto& t = trees[k];
            std::fprintf(o, "        [%d, %.4g, %d, %.4g, %.4g, %.4g, %d, %.4g, %.4g, %.4g]%s\n", t.f, t.at, t.f2[0], t.at2[0] > 1e8 ? 1e9 : t.at2[0], t.v[0][0], t.v[0][1], t.f2[1], t.at2[1] > 1e8 ? 1e9 : t.at2[1], t.v[1][0], t.v[1][1], k + 1 < trees.size() ? "," : ""); }
        std::fprintf(o, "]\n"); std::fclose(o);
    }
    const int smooth = getenv("SMOOTH") ? std::atoi(getenv("SMOOTH")) : 15;
    const double thr[] = {-2, -1, 0, 1, 2, 3, 4};
    for (auto& path : Split(argv[5], ',')) {
        auto files = Load(path);
        std::map<std::string, std::vector<int>> fa; int rec[7][3] = {}, tot[3] = {};
        std::vector<std::pair<double, std::string>> worst, missed;
        for (auto& f : files) {
            std::vector<double> z(f.t.size());
            for (size_t i = 0; i < f.t.size(); ++i) { if (!Admit(f.x[i])) { z[i] = -8; continue; } double s = bias; for (auto& t : trees) s += Value(t, f.x[i]); z[i] = s; }
            double bestz = -1e9, run = -8.0 * smooth; for (size_t i = 0; i < z.size(); ++i) { run += z[i] - (i >= (size_t)smooth ? z[i - smooth] : -8.0); double m = run / smooth; bool in = f.label != posLabel || (f.t[i] >= f.on - 0.1 && f.t[i] <= f.off + 1); if (in) bestz = std::max(bestz, m); }
            if (f.label == posLabel) { int b = f.snr >= 20 ? 0 : f.snr >= 10 ? 1 : 2; tot[b]++; for (int j = 0; j < 7; ++j) rec[j][b] += bestz > thr[j]; missed.push_back({bestz, f.sub + "/" + std::to_string(f.snr)}); }
            else { auto& v = fa[f.label]; v.resize(7); for (int j = 0; j < 7; ++j) v[j] += bestz > thr[j]; worst.push_back({bestz, f.label == "negative" ? f.sub : f.label}); }
        }
        std::printf("%s\n", path.c_str());
        for (int j = 0; j < 7; ++j) { std::printf("  z>%.0f rec20 %d/%d rec10 %d/%d rec0 %d/%d  FA:", thr[j], rec[j][0], tot[0], rec[j][1], tot[1], rec[j][2], tot[2]); for (auto& kv : fa) std::printf(" %s=%d", kv.first.c_str(), kv.second[j]); std::printf("\n"); }
        std::sort(worst.rbegin(), worst.rend()); std::printf("  top negs:"); for (size_t i = 0; i < std::min<size_t>(8, worst.size()); ++i) std::printf(" %s(%.1f)", worst[i].second.c_str(), worst[i].first); std::printf("\n");
        std::sort(missed.begin(), missed.end()); std::printf("  lowest pos:"); for (size_t i = 0; i < std::min<size_t>(8, missed.size()); ++i) std::printf(" %s(%.1f)", missed[i].second.c_str(), missed[i].first); std::printf("\n");
    }
}
