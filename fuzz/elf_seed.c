int vn_elf_seed_marker = 1;  /* a tiny ELF object to which the build adds a resource section */
