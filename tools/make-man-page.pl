#!/usr/bin/perl
# Writes a manual page (roff, man macros) from what a program prints for
# --help, so that the page says exactly what --help says:
#
#   make-man-page.pl PROGRAM NAME-LINE VERSION DATE EXTRA.roff OUTPUT.1
#
# The help text is read in blocks separated by blank lines:
# - "Usage: PROG ..." and the lines below it, up to the blank line, are the
#   synopsis: a line that starts with PROG (after blanks) begins another form
#   of the command, any other line continues the form above it;
# - a line "Heading:" at the left margin starts a subsection of OPTIONS, but
#   "Options:" (the subsection "General", or none when it comes first) and
#   "Exit status:" (its own section, EXIT STATUS);
# - an indented "-OPTION [ARG]  text" or "DIGITS  text" is a tagged item; lines
#   indented deeper than two blanks continue the text of the item above;
# - anything else is prose: lines in a row make one paragraph; prose before
#   the first heading is the DESCRIPTION.
# EXTRA.roff is roff with ".SH SECTION" lines: a section the help also makes
# (DESCRIPTION, OPTIONS, EXIT STATUS) is continued by it, any other section
# is put in the customary order of manual pages.
use strict;
use warnings;

die "usage: $0 PROGRAM NAME-LINE VERSION DATE EXTRA.roff OUTPUT.1\n" unless @ARGV == 6;
my ($program, $name_line, $version, $date, $extra_file, $output) = @ARGV;
(my $prog = $program) =~ s{.*/}{};

open(my $help_pipe, '-|', $program, '--help') or die "$0: cannot run $program: $!\n";
my @help = <$help_pipe>;
close($help_pipe) or die "$0: $program --help failed\n";
chomp @help;
die "$0: $program --help printed no usage line\n" unless @help && $help[0] =~ /^Usage: /;

my @order = ('NAME', 'SYNOPSIS', 'DESCRIPTION', 'OPTIONS', 'EXIT STATUS', 'ENVIRONMENT', 'FILES', 'EXAMPLES',
             'NOTES', 'BUGS', 'SEE ALSO');
my %section = map { $_ => '' } @order;

# Roff text: backslashes and hyphens escaped, no control character at the
# start of a line.
sub text {
    my ($s) = @_;
    $s =~ s/\\/\\e/g;
    $s =~ s/-/\\-/g;
    $s =~ s/^([.'])/\\&$1/;
    return $s;
}

# Options in bold and placeholders (PICTURE, FILE, N, ...) in italics.
sub marked {
    my ($s) = @_;
    my @parts = split /(\s+|[\[\]|:]|\.\.\.)/, $s;
    for (@parts) {
        next if $_ eq '' || /^\s+$/;
        if (/^-/) { $_ = '\fB' . text($_) . '\fR' }
        elsif (/^[A-Z][A-Z0-9_]*$/) { $_ = '\fI' . text($_) . '\fR' }
        else { $_ = text($_) }
    }
    my $out = join '', @parts;
    $out =~ s/^([.'])/\\&$1/;
    return $out;
}

# The synopsis: one .SY block per form of the command.
my $i = 0;
my @forms;
for (; $i < @help && $help[$i] ne ''; ++$i) {
    my $line = $help[$i];
    if ($line =~ s/^Usage:\s+\Q$prog\E\b\s*// || $line =~ s/^\s+\Q$prog\E\b\s*//) {
        push @forms, $line;
    } else {
        $line =~ s/^\s+//;
        $forms[-1] .= " $line";
    }
}
$section{SYNOPSIS} = join '', map { ".SY " . text($prog) . "\n" . marked($_) . "\n.YS\n" } @forms;

my $current = 'DESCRIPTION';
my $in_prose = 0;       # the last line was prose: the next prose line joins its paragraph
my $in_item = 0;        # the last line was an item or its continuation
for (; $i < @help; ++$i) {
    my $line = $help[$i];
    if ($line =~ /^\s*$/) {
        ($in_prose, $in_item) = (0, 0);
        next;
    }
    if ($line =~ /^(\S.*):$/) {
        my $heading = $1;
        ($in_prose, $in_item) = (0, 0);
        if ($heading =~ /^exit status$/i) {
            $current = 'EXIT STATUS';
        } else {
            $current = 'OPTIONS';
            if ($heading eq 'Options') {
                # The section's own heading says it, unless other subsections came first.
                $section{OPTIONS} .= ".SS \"General\"\n" if $section{OPTIONS} ne '';
            } else {
                $section{OPTIONS} .= '.SS "' . text($heading) . "\"\n";
            }
        }
        next;
    }
    if ($line =~ /^ {1,3}(-\S+(?: [^\s-]\S*)*|\d+)(?:\s{2,}(\S.*))?$/) {
        my ($tag, $what) = ($1, $2);
        $section{$current} .= ".TP\n" . marked($tag) . "\n" . (defined $what ? text($what) . "\n" : '');
        ($in_prose, $in_item) = (0, 1);
        next;
    }
    if ($in_item && $line =~ /^ {4,}(\S.*)$/) {
        $section{$current} .= text($1) . "\n";
        next;
    }
    (my $words = $line) =~ s/^\s+//;
    $section{$current} .= ".PP\n" unless $in_prose;
    $section{$current} .= text($words) . "\n";
    ($in_prose, $in_item) = (1, 0);
}

open(my $extra, '<', $extra_file) or die "$0: cannot read $extra_file: $!\n";
my $into;
while (my $line = <$extra>) {
    next if $line =~ /^\.\\"/;
    if ($line =~ /^\.SH\s+"?([^"\n]+)"?\s*$/) {
        $into = uc $1;
        die "$0: $extra_file: section $into is not one of @order\n" unless exists $section{$into};
        next;
    }
    die "$0: $extra_file: text before the first .SH line\n" unless defined $into;
    $section{$into} .= $line;
}

$section{NAME} = text($prog) . " \\- " . text($name_line) . "\n";
# Written whole or not at all: a failed run leaves no page that looks made.
open(my $out, '>', "$output.tmp") or die "$0: cannot write $output.tmp: $!\n";
print $out ".\\\" Made from the text of '$prog --help' by tools/make-man-page.pl: edit that text instead.\n";
print $out ".TH \"" . text(uc $prog) . "\" 1 \"$date\" \"" . text($version) . "\" \"User Commands\"\n";
for my $name (@order) {
    next if $section{$name} eq '';
    print $out ".SH \"$name\"\n$section{$name}";
}
close($out) or die "$0: cannot write $output.tmp: $!\n";
rename("$output.tmp", $output) or die "$0: cannot rename $output.tmp: $!\n";
