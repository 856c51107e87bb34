        .CHIP   ZQ4460
; programs that once assembled into a wrong image with 0 errors
        #include <three.inc>
MANY    .MACRO  P1,P2,P3,P4,P5,P6,P7,P8,P9,P10,P11,P12,P13,P14,P15,P16,P17
        .ENDM
GUARD   .MACRO  A, B
        .IF .PARAMCOUNT <> 2
        .ERROR  "GUARD NEEDS TWO ARGUMENTS"
        .ENDIF
        .ENDM
        GUARD   1, 2
        GUARD
PAUSE   .MACRO  CNT
        LDA     CNT
        .ENDM
pause:  PAUSE   3
        .IF     0
        NOP
        .ELSEIF 1 .XX. 2
        NOP
        .ENDIF
        .IFDIFF 1, 1, 1
        NOP
        .ENDIF
L10:    NOP
LONGP   .MACRO  PPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPPP
        .ENDM
X       EQU     0
FIVE    .MACRO  X
        LDA     X+X+X+X+X
        .ENDM
        FIVE    0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000
        .DATA
        ORG     40h
A       DN      N
B       DN      1
        .ENDD
N       EQU     4
        .TABLE
        .DB     "x
        .ENDT
        #include <ctrlz.inc>
        .BANKCONVERTAREA 0300h
        .BANKCONVERTAREA 0 0FFFFh
        ORG     0150h
        .BANKCONVERTAREA 0100h 01FFh
        ORG     0FF0h
L0:     NOP
        ORG     0FFFh
        JZ      L0
        CALL    2010h
        ORG     1FFEh
        LDA     1
        LDA     2
        #include <open.inc>
        NOP
