; basic program
        .CHIP   ZQ4460
        ORG     0
START:  JMP     MAIN
        NOP
MAIN:   MOV     45h, 3
        LDA     5
LOOP:   INC     @HL
        JNZ     LOOP
        CALL    SUB
        JMP     START
SUB:    RET
