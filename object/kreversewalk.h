#ifndef QOX_OBJECT_KREVERSEWALK_H
#define QOX_OBJECT_KREVERSEWALK_H

// Visits the indexes of a list that visiting may shrink (a disconnection can
// remove other entries too): from the last down to 0, each next index kept
// within the count as it is after the visit. count() answers the current
// count; visit(i) is called for each index.
template <class Count, class Visit>
void WalkFromLast(Count count, Visit visit)
{
    for (int i = count() - 1; i >= 0;)
    {
        visit(i);
        int next = i - 1;
        if (next > count() - 1)
            next = count() - 1;
        i = next;
    }
}

#endif
