// The engine alone, without Python: solves the benchmark phrases against the
// benchmark word list with each search and prints solutions, time and rate.
//
// Build: cmake -S . -B build/bench -DVORPALYX_BUILD_BENCHMARKS=ON
//        -DVORPALYX_BUILD_MODULE=OFF && cmake --build build/bench
// Run:   build/bench/vorpalyx_engine_bench [--literal | --one-thread] [--walk]
//            [--count] [--format text|json] [--timeout SECONDS] [--runs N]
//            [--min-word-length N] [phrase [max_words]]
// (--one-thread: the fast search on the calling thread only; --walk: its
// walk and sort even where the remainder search applies; --count:
// counting the solutions without storing them; --format: also writing the
// last result out in that form, in order and backwards, into chunks that
// are thrown away, with the time per solution; --runs: runs of a given
// phrase, 3 unless told, the median printed.)
// Without a phrase it runs the standard cases, the full search of
// "william shakespeare" and a search stopped by a 50 ms time limit.

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "solver/anagram_solver.h"
#include "solver/fast_search.h"
#include "solver/prepared_constraints.h"
#include "solver/solution_text.h"

namespace {

// Debian's wamerican entries made only of a-z, without single letters other
// than 'a' and 'i'.
bool load_benchmark_words(vorpalyx::AnagramSolver& solver) {
  std::ifstream file("/usr/share/dict/american-english");
  if (!file) return false;
  std::string line;
  std::size_t count = 0;
  while (std::getline(file, line)) {
    if (line.empty() || !std::all_of(line.begin(), line.end(), [](char c) {
          return c >= 'a' && c <= 'z';
        })) {
      continue;
    }
    if (line.size() == 1 && line != "a" && line != "i") continue;
    solver.insert(line);
    ++count;
  }
  std::printf("dictionary: %zu words\n", count);
  return true;
}

double thread_cpu_seconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

// Whether the fast search may use a second thread (--one-thread: never),
// and whether it counts instead of storing (--count).
bool g_second_thread = true;
bool g_remainder_search = true;
bool g_count = false;
std::optional<std::uint64_t> g_min_word_length;
std::optional<vorpalyx::SolutionFormat> g_format;

vorpalyx::FastSearchOptions bench_options() {
  vorpalyx::FastSearchOptions options =
      vorpalyx::FastSearchOptions::for_this_machine();
  options.second_core = options.second_core && g_second_thread;
  options.remainder_search = g_remainder_search;
  return options;
}

std::size_t count_fast(const vorpalyx::AnagramSolver& solver,
                       const std::string& phrase,
                       const vorpalyx::SolverConstraints& constraints,
                       vorpalyx::FastSearchReport* report) {
  const auto start = std::chrono::steady_clock::now();
  const auto counts =
      std::get<vorpalyx::CharCounts>(vorpalyx::CharCounts::from_str(phrase));
  return static_cast<std::size_t>(
      vorpalyx::count_fast_search(solver.trie(), counts, constraints,
                                  vorpalyx::prepare_constraints(constraints),
                                  start, bench_options(), report)
          .solutions);
}

vorpalyx::SolutionList solve_fast(
    const vorpalyx::AnagramSolver& solver, const std::string& phrase,
    const vorpalyx::SolverConstraints& constraints,
    vorpalyx::FastSearchReport* report) {
  const auto start = std::chrono::steady_clock::now();
  const auto counts =
      std::get<vorpalyx::CharCounts>(vorpalyx::CharCounts::from_str(phrase));
  return vorpalyx::run_fast_search(solver.trie(), counts, constraints,
                                   vorpalyx::prepare_constraints(constraints),
                                   start, bench_options(), report);
}

// Writes all of `list` in `format`, with step 1 (read in order) and step -1
// (each solution found on its own), and prints the time per solution.
void format_list(const vorpalyx::SolutionList& list,
                 vorpalyx::SolutionFormat format) {
  const std::size_t count = list.size();
  if (count == 0) return;
  for (std::ptrdiff_t step : {1, -1}) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = thread_cpu_seconds();
    vorpalyx::SolutionFormatter formatter(
        list, format, step == 1 ? 0 : count - 1, step, count);
    std::string chunk;
    std::size_t bytes = 0;
    while (formatter.next_chunk(chunk)) bytes += chunk.size();
    const double cpu = thread_cpu_seconds() - cpu_start;
    const std::chrono::duration<double> elapsed =
        std::chrono::steady_clock::now() - start;
    std::printf(
        "  %s step %2td: %12zu bytes %10.2f ms (cpu %8.2f ms) "
        "%6.1f ns/solution (cpu %6.1f)\n",
        format == vorpalyx::SolutionFormat::kJson ? "json" : "text", step,
        bytes, elapsed.count() * 1000, cpu * 1000,
        elapsed.count() * 1e9 / static_cast<double>(count),
        cpu * 1e9 / static_cast<double>(count));
  }
}

void run(const vorpalyx::AnagramSolver& solver, const std::string& phrase,
         std::optional<std::uint64_t> max_words, vorpalyx::SearchEngine engine,
         int runs, std::optional<double> timeout_seconds = std::nullopt) {
  vorpalyx::SolverConstraints constraints;
  constraints.max_words = max_words;
  constraints.min_word_length = g_min_word_length;
  constraints.timeout_seconds = timeout_seconds;
  std::vector<double> times;
  std::vector<double> cpu_times;
  std::vector<double> search_times;
  std::size_t count = 0;
  vorpalyx::SolutionList last;  // kept for --format
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu_start = thread_cpu_seconds();
    vorpalyx::FastSearchReport report;
    if (g_count) {
      count = count_fast(solver, phrase, constraints, &report);
    } else {
      vorpalyx::SolutionList list =
          engine == vorpalyx::SearchEngine::kFast
              ? solve_fast(solver, phrase, constraints, &report)
              : solver.solve_with_engine(phrase, constraints, engine);
      count = list.size();
      if (g_format && i == runs - 1) last = std::move(list);
    }
    cpu_times.push_back(thread_cpu_seconds() - cpu_start);
    const std::chrono::duration<double> elapsed =
        std::chrono::steady_clock::now() - start;
    times.push_back(elapsed.count());
    search_times.push_back(report.search_seconds);
  }
  std::sort(times.begin(), times.end());
  std::sort(cpu_times.begin(), cpu_times.end());
  const double median = times[times.size() / 2];
  const double cpu_median = cpu_times[cpu_times.size() / 2];
  std::printf(
      "%-22s max_words=%-4s %12zu solutions %10.2f ms (cpu %8.2f ms) "
      "%6.1f M/s",
      phrase.c_str(), max_words ? std::to_string(*max_words).c_str() : "-",
      count, median * 1000, cpu_median * 1000, count / median / 1e6);
  if (!g_count && engine == vorpalyx::SearchEngine::kFast && !timeout_seconds) {
    // The walk alone (its median over the runs); the sort takes the rest.
    std::vector<double> sorted_search = search_times;
    std::sort(sorted_search.begin(), sorted_search.end());
    std::printf("  (search %.2f ms)",
                sorted_search[sorted_search.size() / 2] * 1000);
  }
  if (timeout_seconds) {
    std::sort(search_times.begin(), search_times.end());
    std::printf("  time limit %.0f ms, search ended at %.1f-%.1f ms",
                *timeout_seconds * 1000, search_times.front() * 1000,
                search_times.back() * 1000);
  }
  std::printf("\n");
  if (g_format && !g_count) format_list(last, *g_format);
}

}  // namespace

int main(int argc, char** argv) {
  vorpalyx::SearchEngine engine = vorpalyx::SearchEngine::kFast;
  std::optional<double> timeout_seconds;
  int runs = 3;
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--one-thread") == 0) {
      g_second_thread = false;
    } else if (std::strcmp(argv[i], "--min-word-length") == 0 && i + 1 < argc) {
      g_min_word_length = std::strtoull(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--walk") == 0) {
      g_remainder_search = false;
    } else if (std::strcmp(argv[i], "--count") == 0) {
      g_count = true;
    } else if (std::strcmp(argv[i], "--format") == 0 && i + 1 < argc) {
      ++i;
      if (std::strcmp(argv[i], "text") == 0) {
        g_format = vorpalyx::SolutionFormat::kText;
      } else if (std::strcmp(argv[i], "json") == 0) {
        g_format = vorpalyx::SolutionFormat::kJson;
      } else {
        std::fprintf(stderr, "--format takes text or json, not %s\n", argv[i]);
        return 1;
      }
    } else if (std::strcmp(argv[i], "--literal") == 0) {
      engine = vorpalyx::SearchEngine::kLiteral;
    } else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
      timeout_seconds = std::strtod(argv[++i], nullptr);
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else {
      arguments.push_back(argv[i]);
    }
  }
  vorpalyx::AnagramSolver solver;
  if (!load_benchmark_words(solver)) {
    std::fprintf(stderr,
                 "/usr/share/dict/american-english is missing: "
                 "apt-get install wamerican\n");
    return 1;
  }
  if (!arguments.empty()) {
    std::optional<std::uint64_t> max_words;
    if (arguments.size() > 1)
      max_words = std::strtoull(arguments[1].c_str(), nullptr, 10);
    run(solver, arguments[0], max_words, engine, runs, timeout_seconds);
    return 0;
  }
  run(solver, "clint eastwood", std::nullopt, engine, 5);
  run(solver, "dormitory window", std::nullopt, engine, 5);
  run(solver, "william shakespeare", 4, engine, 5);
  run(solver, "william shakespeare", std::nullopt, engine, 1);
  // Billions of solutions: only the time limit ends the search.
  run(solver, "william shakespeare and the dormitory windows", std::nullopt,
      engine, 3, 0.05);
  return 0;
}
