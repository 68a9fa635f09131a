"""The parameters of Solver.solve, in positional order, shared by the tests."""

SOLVE_PARAMETERS = (
    "phrase",
    "must_start_with",
    "can_only_ever_start_with",
    "must_not_start_with",
    "max_words",
    "min_word_length",
    "timeout_seconds",
    "max_solutions",
    "contains_patterns",
)
# Everything but the phrase: the fields of a solve's constraints, in order.
CONSTRAINT_FIELDS = SOLVE_PARAMETERS[1:]
