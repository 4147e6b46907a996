# Run by cpack before it packs (CPACK_PRE_BUILD_SCRIPTS): a package never
# carries the test automation hook. A build made for the tests has it; its
# package may only be looked at (test_package passes
# -D CPACK_MINATORI_INSPECT_ONLY=ON), never shipped.
if(CPACK_MINATORI_TEST_HOOK AND NOT CPACK_MINATORI_INSPECT_ONLY)
  message(FATAL_ERROR
    "This build has the test hook in the program (MINATORI_TEST_HOOK). "
    "Make the package from a build without tests: ./scripts/package.sh")
endif()
