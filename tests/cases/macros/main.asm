; Macros and conditional assembly
        .CHIP   ZQ4460
        #include <macros.inc>
FAST    EQU     1
START:  SETREG  45h, 3          ; call
        WAIT    , 2
        WAIT    1, 3
        .IFDEF  FAST
        .IF     FAST .GT. 1
        .IF     1
        NOP
        .ELSE
        HALT
        .ENDIF
        .ELSEIF FAST .EQ. 2
        STOP
        .ELSE
        .IF     0
        STOP
        .ENDIF
        RET
        .ENDIF
        .ENDIF
