# The fuzz harnesses, each with its seed corpus (a few dozen small files,
# among them every input a fuzzer crashed on). Run a fuzzer with the
# run.sh (or fuzz.sh) beside its harness; the tests replay the seeds.
set(fuzz ${CMAKE_CURRENT_LIST_DIR})
zorbel_fuzz(zip SOURCE ${fuzz}/zipfuzz/ZipReadFuzz.cpp SEEDS ${fuzz}/zipfuzz/seeds DEPS zorbel_archive)
zorbel_fuzz(inflate SOURCE ${fuzz}/inflate/fuzz/FuzzDecode.cpp SEEDS ${fuzz}/inflate/fuzz/seeds DEPS zorbel_archive)
zorbel_fuzz(dbf SOURCE ${fuzz}/dbffuzz/DbfReadFuzz.cpp SEEDS ${PROJECT_SOURCE_DIR}/tests/data/dbase/rates.dbf ${fuzz}/dbffuzz/seeds
  DEPS zorbel_rtl)
zorbel_fuzz(expr SOURCE ${fuzz}/exprfuzz/ExprFuzz.cpp SEEDS ${fuzz}/exprfuzz/seeds DEPS zorbel_report zorbel_memtable)
zorbel_fuzz(rep SOURCE ${fuzz}/repfuzz/RepLoadFuzz.cpp SEEDS ${fuzz}/repfuzz/seeds ${PROJECT_SOURCE_DIR}/tests/data/report/huge-glyph.rep
  DEPS zorbel_report)
zorbel_fuzz(rtf SOURCE ${fuzz}/rtffuzz/RtfFuzz.cpp SEEDS ${fuzz}/rtffuzz/seeds DEPS zorbel_report)
