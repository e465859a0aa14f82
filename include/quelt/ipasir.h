/* The IPASIR interface to Quelt: the common C interface of incremental SAT
 * solvers. A solver handle takes clauses literal by literal, assumptions for
 * the next solve only, and answers 10 (satisfiable), 20 (unsatisfiable) or
 * 0 (interrupted). Literals are non-zero 32-bit integers, a negative number
 * being the negation of its variable; INT32_MIN is not a literal.
 *
 * States: a new solver and one that has just been given a clause literal or
 * an assumption is in INPUT; after a solve it is in SAT, UNSAT or INPUT
 * (interrupted). One handle must not be used by two threads at once;
 * distinct handles share nothing and may be used in parallel. */
#ifndef QUELT_IPASIR_H
#define QUELT_IPASIR_H

#include <stdint.h>

/* QUELT_API marks what the shared library exports; everything else in it
 * is hidden. */
#ifndef QUELT_API
#if defined(__GNUC__)
#define QUELT_API __attribute__((visibility("default")))
#else
#define QUELT_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Name and version of the solver, e.g. "quelt-1.0". */
QUELT_API const char* ipasir_signature(void);

/* A new solver with an empty formula, in state INPUT. */
QUELT_API void* ipasir_init(void);

/* Frees the solver and everything it holds. */
QUELT_API void ipasir_release(void* solver);

/* Adds a literal to the clause being built, or ends that clause with 0.
 * The clause stays in the formula for all later solves. A literal that is
 * not one (INT32_MIN) makes every later ipasir_solve return 0. */
QUELT_API void ipasir_add(void* solver, int32_t lit_or_zero);

/* Assumes lit for the next ipasir_solve only. */
QUELT_API void ipasir_assume(void* solver, int32_t lit);

/* Solves the formula under the assumptions given since the last solve,
 * which are then forgotten. Returns 10 (state SAT), 20 (UNSAT), or 0 when
 * the terminate callback asked to stop or the input held a bad literal. */
QUELT_API int ipasir_solve(void* solver);

/* In state SAT: lit when it is true in the model, -lit when it is false, 0
 * for a variable the formula never mentioned. 0 in any other state. */
QUELT_API int32_t ipasir_val(void* solver, int32_t lit);

/* In state UNSAT: 1 when the assumption lit is among those the refutation
 * rests on (they contradict the formula by themselves), 0 otherwise. 0 in
 * any other state. */
QUELT_API int ipasir_failed(void* solver, int32_t lit);

/* During ipasir_solve, terminate(data) is called regularly; a non-zero
 * answer stops the search, which then returns 0. NULL removes the
 * callback. */
QUELT_API void ipasir_set_terminate(void* solver, void* data, int (*terminate)(void* data));

/* During ipasir_solve, every learned clause of at most max_length literals
 * is passed to learn(data, clause) as a zero-terminated array, valid only
 * during the call. NULL removes the callback. */
QUELT_API void ipasir_set_learn(void* solver, void* data, int max_length, void (*learn)(void* data, int32_t* clause));

#ifdef __cplusplus
}
#endif

#endif
