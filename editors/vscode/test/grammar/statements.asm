; SYNTAX TEST "source.zqasm" "statements, numbers and operands"
start:  MOV     45h, 3          ; load
; <----- entity.name.label.zqasm
;    ^ punctuation.separator.label.zqasm
;       ^^^ keyword.other.mnemonic.zqasm
;               ^^^ constant.numeric.hex.zqasm
;                    ^ constant.numeric.decimal.zqasm
;                               ^^^^^^ comment.line.semicolon.zqasm
loop    INC     @HL
; <---- entity.name.label.zqasm
;       ^^^ keyword.other.mnemonic.zqasm
;                ^^ variable.other.zqasm
        JNZ     loop
;       ^^^ keyword.other.mnemonic.zqasm - entity.name.label.zqasm
;               ^^^^ variable.other.zqasm
?x\1:   NOP
; <---- entity.name.label.zqasm
;       ^^^ keyword.other.mnemonic.zqasm
wait    ; a label alone
; <---- entity.name.label.zqasm
;       ^^^^^^^^^^^^^^^ comment.line.semicolon.zqasm
        LDA     0FFh+$1F-1010B*12D/7%3
;               ^^^^ ^^^ constant.numeric.hex.zqasm
;                        ^^^^^ constant.numeric.binary.zqasm
;                              ^^^ ^ constant.numeric.decimal.zqasm
;                   ^   ^     ^   ^ ^ keyword.operator.arithmetic.zqasm
        LDA     FFH, 12AB, 0x10, 1111111111111B, 111111111111B, 0BH
;               ^^^ variable.other.zqasm - constant.numeric.hex.zqasm
;                    ^^^^  ^^^^  ^^^^^^^^^^^^^^ invalid.illegal.numeric.zqasm
;                                                ^^^^^^^^^^^^^ constant.numeric.binary.zqasm
;                                                               ^^^ constant.numeric.hex.zqasm
        JMP     $+2, *-1, 2*-3, $
;               ^    ^          ^ variable.language.location-counter.zqasm
;                          ^ keyword.operator.arithmetic.zqasm - variable.language.location-counter.zqasm
        LDA     'A'+' ', "a;b" ; c
;               ^^^ ^^^ constant.character.zqasm
;                        ^^^^^ string.quoted.double.zqasm - comment.line.semicolon.zqasm
;                              ^^^ comment.line.semicolon.zqasm
        LDA     (1<<4)>>2&3|~4^5
;               ^ punctuation.section.parens.begin.zqasm
;                 ^^  ^^ keyword.operator.bitwise.shift.zqasm
;                        ^ ^^ ^ keyword.operator.bitwise.zqasm
;                    ^ punctuation.section.parens.end.zqasm
