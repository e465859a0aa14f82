# Quelt::quelt (shared) and Quelt::quelt_static; both need nothing but the
# C++ standard library.
include("${CMAKE_CURRENT_LIST_DIR}/QueltTargets.cmake")
