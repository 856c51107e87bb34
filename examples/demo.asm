; demo.asm - a small program for the ZQ4460 4-bit microcontroller.
;
; After reset the program jumps over the vector area, clears a counter
; nibble in RAM 45h and counts it up through the pointer @HL, calling a
; subroutine for every step, until the counter wraps to zero. Then it
; stores a few values and stops in a HALT loop.
;
; Assemble with:  zqasm --table-top 0FFh demo.asm
; (outputs demo.OBJ, demo.TAB, demo.LST, demo.ERR, demo.EQU, demo.LBL, demo.RAM, ...)

        .CHIP   ZQ4460
        .SORTLABELFILE A        ; demo.LBL in name order

; Constants, a DEFINE flag and value, and an operand text.
STEPS   EQU     3
MARK:   EQUAL   'M'
#DEFINE FAST
#DEFINE START   2
PAIR    DEFSTRING 45h, 3        ; "MOV PAIR" is "MOV 45h, 3"

; RAM names: nibbles allocated from 60h on.
        .DATA
        ORG     60h
FLAGS   DN      1
BUFFER  DN      4
        .ENDD

        ORG     0
reset:  JMP     start           ; forward jump over the vector area
        NOP

        ORG     10h
start:  MOV     45h, 0          ; counter := 0
        LDA     0
        SBR     12h

count:  INC     @HL             ; counter := counter + 1
        CALL    step            ; forward call
        JNZ     count           ; backward conditional jump until it wraps

        MOV     PAIR            ; RAM 45h := 3
        LDA     STEPS+START     ; constant and define: the operand is 5
        INC     FAST            ; a flag DEFINE is 1
        ST      2, BUFFER       ; RAM name as an operand
        LDA     (1+2)*3-4       ; expressions: the operand is 5
        JMP     $+1             ; $ is the address of this statement
        .DS     1               ; reserve one program word
        MOV     45h, @HL
        ST      @HL, 5
        ST      5, 45h
        ADC     2, 3
        SETB    0103h

done:   HALT
        JMP     done            ; backward jump: stay halted

; step: one count step; uses working register 75h.
step:   INC     3
        MOVR    75h, 12h
        RET

; Table ROM data: a message, a word and a pair at a fixed address.
        .TABLE
        .DB     "HELLO", 0
        .DW     1234h
        .DSU    "Hi"
        DN      40h, MARK
        .ENDT

; A macro with a label of its own in every expansion, and a conditional block.
; PAUSE n: loads n and loops on the zero flag.
PAUSE   .MACRO  CNT
        .LOCALLABEL again
again:  LDA     CNT
        JNZ     again           ; each expansion jumps to its own "again"
        .ENDM
SLOW    EQU     1
delay:  PAUSE   3
        .IF     SLOW .EQ. 1     ; assembled: a second, longer pause
        PAUSE   5
        .ELSE
        NOP
        .ENDIF
        RET
