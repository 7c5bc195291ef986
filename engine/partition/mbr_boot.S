# The boot program that a rebuilt sector 0 carries (446 bytes with the table
# area). The BIOS loads it at 0:7C00 with DL = the boot drive. It moves itself
# to 0:0600, finds the one active partition, loads that partition's first
# sector at 0:7C00 (through the LBA extensions when the BIOS has them, else by
# cylinder/head/sector) and jumps to it with DL = drive and DS:SI -> the entry,
# as every partition boot sector expects.
#
# Assembled by make_mbr_boot.sh into mbr_boot.cpp; addresses are written as
# label differences, so no linker is needed.
        .code16
        .text
        .set    BASE, 0x0600                # where the program runs
        .set    LOAD, 0x7C00                # where the BIOS put it, and where the next sector goes
        .set    TABLE, BASE + 0x1BE

start:
        cli
        xorw    %ax, %ax
        movw    %ax, %ss
        movw    $LOAD, %sp
        movw    %ax, %ds
        movw    %ax, %es
        sti
        cld
        movw    $LOAD, %si
        movw    $BASE, %di
        movw    $256, %cx
        rep movsw
        ljmp    $0, $(moved - start + BASE)

moved:
        movb    %dl, (drive - start + BASE)
        # Exactly one entry may be active; every flag is 0 or 0x80.
        movw    $TABLE, %bx
        xorw    %bp, %bp                    # the active entry, 0 = none yet
        movw    $4, %cx
scan:
        movb    (%bx), %al
        testb   %al, %al
        jz      next
        cmpb    $0x80, %al
        jne     invalid
        testw   %bp, %bp
        jnz     invalid
        movw    %bx, %bp
next:
        addw    $16, %bx
        loop    scan
        testw   %bp, %bp
        jnz     found
        int     $0x18                       # nothing to boot: the BIOS tries the next device
        jmp     halt

invalid:
        movw    $(msg_invalid - start + BASE), %si
        jmp     fail

found:
        movw    $5, %di                     # tries
retry:
        # LBA extensions present? (AH=41h, BX=55AAh -> BX=AA55h, CX bit 0)
        movb    $0x41, %ah
        movw    $0x55AA, %bx
        movb    (drive - start + BASE), %dl
        int     $0x13
        jc      chs
        cmpw    $0xAA55, %bx
        jne     chs
        testb   $1, %cl
        jz      chs
        movw    8(%bp), %ax                 # the entry's 32-bit start sector
        movw    %ax, (dap_lba - start + BASE)
        movw    10(%bp), %ax
        movw    %ax, (dap_lba + 2 - start + BASE)
        movw    $1, (dap + 2 - start + BASE)   # a failed call may have left the count at 0
        movw    $(dap - start + BASE), %si
        movb    $0x42, %ah
        movb    (drive - start + BASE), %dl
        int     $0x13
        jnc     loaded
        jmp     again
chs:
        movw    $0x0201, %ax                # read one sector
        movw    $LOAD, %bx
        movb    1(%bp), %dh                 # head
        movw    2(%bp), %cx                 # sector and cylinder bytes
        movb    (drive - start + BASE), %dl
        int     $0x13
        jnc     loaded
again:
        xorb    %ah, %ah                    # reset the drive, then try again
        movb    (drive - start + BASE), %dl
        int     $0x13
        decw    %di
        jnz     retry
        movw    $(msg_load - start + BASE), %si
        jmp     fail

loaded:
        cmpw    $0xAA55, (LOAD + 510)
        je      boot
        movw    $(msg_missing - start + BASE), %si
        jmp     fail

boot:
        movw    %bp, %si
        movb    (drive - start + BASE), %dl
        ljmp    $0, $LOAD

fail:
        lodsb
        testb   %al, %al
        jz      halt
        movb    $0x0E, %ah
        movw    $7, %bx
        int     $0x10
        jmp     fail
halt:
        hlt
        jmp     halt

drive:  .byte   0x80
        .balign 2
dap:    .byte   16, 0                       # packet size, reserved
        .word   1                           # one sector
        .word   LOAD, 0                     # to 0:7C00
dap_lba:
        .long   0, 0

msg_invalid:    .asciz  "Invalid partition table"
msg_load:       .asciz  "Error loading operating system"
msg_missing:    .asciz  "Missing operating system"
        # Stops the assembly when the program would run into the disk
        # signature at 440 (.org cannot move backwards).
        .org    440
