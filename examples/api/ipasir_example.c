/* Quelt's C interface (IPASIR): three clauses, two solves under
 * assumptions. */
#include <quelt/ipasir.h>

#include <stdio.h>

static void add_clause(void* solver, const int32_t* lits) {
  while (*lits) ipasir_add(solver, *lits++);
  ipasir_add(solver, 0);
}

static const char* verdict(int result) {
  return result == 10 ? "satisfiable" : result == 20 ? "unsatisfiable" : "unknown";
}

int main(void) {
  static const int32_t clauses[][3] = {
    {1, 2, 0},   /* x1 or x2 */
    {-1, 3, 0},  /* x1 implies x3 */
    {-2, 3, 0},  /* x2 implies x3 */
  };
  void* solver = ipasir_init();
  for (int i = 0; i < 3; i++) add_clause(solver, clauses[i]);

  /* Assumptions hold for one solve only. */
  ipasir_assume(solver, -1);
  int result = ipasir_solve(solver);
  printf("assuming -1: %s\n", verdict(result));
  if (result == 10) {
    printf("model:");
    for (int32_t var = 1; var <= 3; var++) printf(" %d", (int)ipasir_val(solver, var));
    printf("\n");
  }

  static const int32_t assumed[] = {-1, -2};
  for (int i = 0; i < 2; i++) ipasir_assume(solver, assumed[i]);
  result = ipasir_solve(solver);
  printf("assuming -1 -2: %s\n", verdict(result));
  if (result == 20) {
    printf("failed:");
    for (int i = 0; i < 2; i++)
      if (ipasir_failed(solver, assumed[i])) printf(" %d", (int)assumed[i]);
    printf("\n");
  }

  ipasir_release(solver);
  return 0;
}
