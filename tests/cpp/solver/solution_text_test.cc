// The text and JSON forms of solution lists: exact outputs, runs with steps,
// chunk boundaries, escaping, and every way a group stores its solutions.

#include "solver/solution_text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "solver/anagram_solver.h"
#include "solver/result_order.h"

namespace vorpalyx {
namespace {

// Every chunk of the run, checking that the formatter says it is done
// exactly when a chunk comes back empty, and stays done.
std::vector<std::string> chunks_of(const SolutionList& list,
                                   SolutionFormat format, std::size_t first,
                                   std::ptrdiff_t step, std::size_t count,
                                   std::size_t chunk_bytes) {
  SolutionFormatter formatter(list, format, first, step, count);
  std::vector<std::string> chunks;
  std::string out = "left over";
  while (formatter.next_chunk(out, chunk_bytes)) {
    EXPECT_FALSE(out.empty());
    chunks.push_back(out);
  }
  EXPECT_EQ(out, "");
  EXPECT_FALSE(formatter.next_chunk(out, chunk_bytes));
  return chunks;
}

std::string format_run(const SolutionList& list, SolutionFormat format,
                       std::size_t first, std::ptrdiff_t step,
                       std::size_t count, std::size_t chunk_bytes = 1 << 20) {
  std::string joined;
  for (const std::string& chunk :
       chunks_of(list, format, first, step, count, chunk_bytes)) {
    joined += chunk;
  }
  return joined;
}

std::string format_all(const SolutionList& list, SolutionFormat format) {
  return format_run(list, format, 0, 1, list.size());
}

// In result order: "dormitory", "dirty room", "a b c".
SolutionList known_list() {
  return make_solution_list(
      {{"dirty", "room"}, {"a", "b", "c"}, {"dormitory"}});
}

TEST(SolutionFormatterTest, WritesTextAndJson) {
  const SolutionList list = known_list();
  EXPECT_EQ(format_all(list, SolutionFormat::kText),
            "dormitory\ndirty room\na b c\n");
  EXPECT_EQ(format_all(list, SolutionFormat::kJson),
            R"([["dormitory"], ["dirty", "room"], ["a", "b", "c"]])");

  const SolutionList empty;
  EXPECT_TRUE(chunks_of(empty, SolutionFormat::kText, 0, 1, 0, 1).empty());
  EXPECT_EQ(chunks_of(empty, SolutionFormat::kJson, 0, 1, 0, 1),
            std::vector<std::string>{"[]"});
  // No solutions chosen from a list that has some.
  EXPECT_EQ(format_run(list, SolutionFormat::kText, 2, -1, 0), "");
  EXPECT_EQ(format_run(list, SolutionFormat::kJson, 1, 2, 0), "[]");
}

TEST(SolutionFormatterTest, WritesTheSolutionsOfASlice) {
  const SolutionList list =
      make_solution_list({{"a"}, {"b"}, {"c"}, {"d"}, {"e", "f"}});
  // first, step, count: the text expected.
  const std::vector<
      std::tuple<std::size_t, std::ptrdiff_t, std::size_t, std::string>>
      cases = {
          {1, 2, 2, "b\nd\n"},    {4, -1, 5, "e f\nd\nc\nb\na\n"},
          {4, -3, 2, "e f\nb\n"}, {3, 1, 2, "d\ne f\n"},
          {2, -2, 1, "c\n"},
      };
  for (const auto& [first, step, count, text] : cases) {
    SCOPED_TRACE(testing::Message() << first << " " << step << " " << count);
    EXPECT_EQ(format_run(list, SolutionFormat::kText, first, step, count),
              text);
  }
  EXPECT_EQ(format_run(list, SolutionFormat::kJson, 4, -3, 2),
            R"([["e", "f"], ["b"]])");
}

TEST(SolutionFormatterTest, EndsEachChunkAtTheFirstSolutionPastItsSize) {
  const SolutionList list = known_list();
  using Chunks = std::vector<std::string>;
  // "dormitory\n" is 10 bytes: exactly full at 10, short of 11.
  EXPECT_EQ(chunks_of(list, SolutionFormat::kText, 0, 1, 3, 10),
            (Chunks{"dormitory\n", "dirty room\n", "a b c\n"}));
  EXPECT_EQ(chunks_of(list, SolutionFormat::kText, 0, 1, 3, 11),
            (Chunks{"dormitory\ndirty room\n", "a b c\n"}));
  EXPECT_EQ(chunks_of(list, SolutionFormat::kText, 2, -1, 3, 0),
            (Chunks{"a b c\n", "dirty room\n", "dormitory\n"}));
  // The brackets go with the first and the last solution.
  EXPECT_EQ(chunks_of(list, SolutionFormat::kJson, 0, 1, 3, 1),
            (Chunks{R"([["dormitory"])", R"(, ["dirty", "room"])",
                    R"(, ["a", "b", "c"]])"}));
  EXPECT_EQ(chunks_of(list, SolutionFormat::kJson, 0, 2, 2, 14),
            (Chunks{R"([["dormitory"])", R"(, ["a", "b", "c"]])"}));
  // Solutions of one group, read in runs.
  const SolutionList letters = make_solution_list({{"a"}, {"b"}, {"c"}, {"d"}});
  EXPECT_EQ(chunks_of(letters, SolutionFormat::kText, 0, 1, 4, 3),
            (Chunks{"a\nb\n", "c\nd\n"}));
  // A solution longer than the room made for any chunk, after another.
  const std::string huge(10'000, 'x');
  EXPECT_EQ(chunks_of(make_solution_list({{huge, huge}, {"a"}, {"b"}}),
                      SolutionFormat::kText, 0, 1, 3, 5),
            (Chunks{"a\nb\n" + huge + " " + huge + "\n"}));
}

TEST(SolutionFormatterTest, EscapesStringsAsJsonDumpsDoes) {
  SolutionList list;
  list.words = {"say \"hi\"",
                "back\\slash",
                "a\nb\rc\td\be\ff",
                std::string("\x00\x01\x1f\x7f", 4),
                "caf\u00e9",
                "\u20ac\u2028",
                "\U0001f600\U0010ffff",
                "\ud7ff\ue000\uffff",
                "/<>&'~ ",
                "\xff"};
  list.groups.resize(2);
  list.groups[0].word_count = 3;
  for (std::uint32_t first : {0u, 3u, 6u}) {
    const std::uint32_t ids[] = {first, first + 1, first + 2};
    list.groups[0].append(ids);
  }
  list.groups[1].word_count = 1;
  const std::uint32_t stray_byte = 9;
  list.groups[1].append(&stray_byte);
  // From Python: json.dumps of the same words (the stray byte as U+FFFD).
  EXPECT_EQ(format_all(list, SolutionFormat::kJson),
            R"([["say \"hi\"", "back\\slash", "a\nb\rc\td\be\ff"], )"
            R"(["\u0000\u0001\u001f\u007f", "caf\u00e9", "\u20ac\u2028"], )"
            R"(["\ud83d\ude00\udbff\udfff", "\ud7ff\ue000\uffff", "/<>&'~ "], )"
            R"(["\ufffd"]])");
}

// The reference: each chosen solution written out plainly.
std::string reference(const std::vector<Solution>& solutions,
                      SolutionFormat format, std::size_t first,
                      std::ptrdiff_t step, std::size_t count) {
  const bool json = format == SolutionFormat::kJson;
  std::string out = json ? "[" : "";
  for (std::size_t k = 0; k < count; ++k) {
    const Solution& solution =
        solutions[first + static_cast<std::ptrdiff_t>(k) * step];
    if (json) out += k == 0 ? "[" : ", [";
    for (std::size_t w = 0; w < solution.size(); ++w) {
      if (w != 0) out += json ? ", " : " ";
      out += json ? '"' + solution[w] + '"' : solution[w];
    }
    out += json ? "]" : "\n";
  }
  return json ? out + "]" : out;
}

// Words a, aa, ..., 16 a's (5-bit ids) for 26 a's: solutions of up to 12
// words as 64-bit fields, 13 to 16 as multiset numbers, 17 to 25 as 128-bit
// fields and 26 as rows.
TEST(SolutionFormatterTest, ReadsEveryFormOfGroup) {
  AnagramSolver solver;
  for (std::size_t length = 1; length <= 16; ++length) {
    solver.insert(std::string(length, 'a'));
  }
  const SolutionList list =
      solver.solve_with_engine(std::string(26, 'a'), {}, SearchEngine::kFast);
  std::vector<bool> forms(4, false);  // fields, multiset, long fields, rows
  for (const SolutionGroup& group : list.groups) {
    forms[group.id_bits == 0 ? 3
          : group.long_keys  ? 2
          : group.numbering  ? 1
                             : 0] = true;
  }
  ASSERT_EQ(forms, std::vector<bool>(4, true));
  const std::vector<Solution> solutions = list.to_vectors();
  const std::size_t size = solutions.size();
  // Whole runs both ways, and runs that start and end inside groups.
  const std::vector<std::tuple<std::size_t, std::ptrdiff_t, std::size_t>> runs =
      {{0, 1, size},           {size - 1, -1, size}, {size / 3, 1, size / 2},
       {7, 3, (size - 8) / 3}, {size - 2, -7, 200},  {1, 2, size / 2}};
  for (SolutionFormat format : {SolutionFormat::kText, SolutionFormat::kJson}) {
    for (const auto& [first, step, count] : runs) {
      const std::string expected =
          reference(solutions, format, first, step, count);
      for (std::size_t chunk_bytes : {1, 300, 1 << 20}) {
        SCOPED_TRACE(testing::Message()
                     << (format == SolutionFormat::kJson) << " " << first << " "
                     << step << " " << count << " " << chunk_bytes);
        EXPECT_EQ(format_run(list, format, first, step, count, chunk_bytes),
                  expected);
      }
    }
  }
}

}  // namespace
}  // namespace vorpalyx
