// The library's string table, one PEL_STRING(number, "text") per string. The Windows resource
// script and the headless binding both expand it, so the two platforms carry the same strings.
// No include guard: each includer defines PEL_STRING and expands the table where it needs it.

// Action captions, in the numbers the store's translations are keyed by.
PEL_STRING(65168, "Save forms")
PEL_STRING(65169, "Fill form")
PEL_STRING(65170, "Bind field")
PEL_STRING(65171, "Unbind field")
PEL_STRING(65172, "Add to profile field")
PEL_STRING(65173, "Clear forms")
PEL_STRING(65174, "Record")
PEL_STRING(65175, "Auto fill form")
PEL_STRING(65176, "Auto submit form")
PEL_STRING(65177, "Options")
PEL_STRING(65178, "Add synonim")
PEL_STRING(65179, "Add value")
PEL_STRING(65180, "Add all values")
PEL_STRING(65197, "Activate")
PEL_STRING(65198, "Login")
PEL_STRING(65199, "Pelmora Manager")
